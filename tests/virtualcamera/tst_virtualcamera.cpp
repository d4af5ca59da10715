// The virtual camera: its commands run through a pkexec stand-in, the
// window's switch, the helper installed for root, and the Linux feeder.
#include "framerecord.h"
#include "mainwindowinspector.h"
#include "pkexeclauncher.h"
#include "placeholderpicture.h"
#include "scripteddialogs.h"
#include "sharedframelock.h"
#include "sharedframeprobe.h"
#include "sharedframereader.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "trustedhelper.h"
#include "virtualcameracommand.h"
#include "vorn_sharedmemory.h"

#include <QtConcurrent>
#include <QtEndian>
#include <QtTest>

#include <array>
#include <cmath>
#include <memory>
#include <tuple>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kW = 640;
constexpr int kH = 480;

using SharedFrameProbe::bottomUp;
using SharedFrameProbe::noisePicture;

// BT.601 studio range.
std::array<double, 3> yuv(double r, double g, double b)
{
    return {16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255.0,
            128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255.0,
            128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255.0};
}

// The feeder's own bars: what it shows matters here, not how they look.
QImage placeholder()
{
    const QByteArray rows = PlaceholderPicture::bottomUpRgb(kW, kH);
    return QImage(reinterpret_cast<const uchar*>(rows.constData()), kW, kH, kW * 3,
                  QImage::Format_RGB888)
        .mirrored();
}

// The last I420 frame the feeder wrote to the file is the picture, by the
// formulas give or take one, chroma from each 2 x 2 block's mean.
bool feederShows(const QString& path, const QImage& image)
{
    QFile file(path);
    constexpr qint64 kBytes = kW * kH * 3 / 2;
    if (!file.open(QIODevice::ReadOnly) || file.size() < kBytes ||
        !file.seek((file.size() / kBytes - 1) * kBytes)) {
        return false;
    }
    const QByteArray frame = file.read(kBytes);
    const auto* planeY = reinterpret_cast<const uchar*>(frame.constData());
    const uchar* planeU = planeY + kW * kH;
    const uchar* planeV = planeU + kW * kH / 4;
    for (int y = 0; y < kH; y += 2) {
        for (int x = 0; x < kW; x += 2) {
            double mean[3] = {0, 0, 0};
            for (int d = 0; d < 4; ++d) {
                const uchar* p = image.constScanLine(y + d / 2) + (x + d % 2) * 3;
                if (std::abs(planeY[(y + d / 2) * kW + x + d % 2] - yuv(p[0], p[1], p[2])[0]) > 1) {
                    return false;
                }
                for (int c = 0; c < 3; ++c) {
                    mean[c] += p[c] / 4.0;
                }
            }
            const auto m = yuv(mean[0], mean[1], mean[2]);
            const int at = (y / 2) * (kW / 2) + x / 2;
            if (std::abs(planeU[at] - m[1]) > 1 || std::abs(planeV[at] - m[2]) > 1) {
                return false;
            }
        }
    }
    return true;
}

// A record's bytes as a writer, sound or not, might leave them.
QByteArray record(qint32 width, qint32 height, qint32 size, const QByteArray& pixels = {})
{
    QByteArray bytes(12, 0);
    qToLittleEndian(width, bytes.data());
    qToLittleEndian(height, bytes.data() + 4);
    qToLittleEndian(size, bytes.data() + 8);
    return bytes + pixels;
}

// Release builds run only the installed helper: the switch's own cases
// need the build's helper, and the package check covers the installed one.
constexpr bool kDevelopmentHelper = LUMORA_DEV_HELPER_RUNS;
#define REQUIRE_DEVELOPMENT_HELPER()                                                               \
    if (!kDevelopmentHelper)                                                                       \
    QSKIP("this build runs only the installed helper; scripts/package-test.sh checks that one")

void writeInto(QSharedMemory& memory, const QByteArray& record)
{
    memory.lock();
    memcpy(memory.data(), record.constData(), size_t(qMin(record.size(), memory.size())));
    memory.unlock();
}

} // namespace

class tst_VirtualCamera : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir keyFolder;
    QTemporaryDir work;
    SimulatedDeviceCatalog catalog;
    SimulatedHub& hub = SimulatedHub::instance();
    QString path;

    static QString feederProgram()
    {
        return QCoreApplication::applicationDirPath() + "/virtual/lumora-vcam-feeder";
    }

    static bool framesPass(MainWindowInspector& inspect)
    {
        for (int i = 0; i < 3; ++i) {
            const QImage shown = inspect.lastFrame().copy();
            if (!QTest::qWaitFor([&] { return inspect.lastFrame() != shown; }, 30000)) {
                return false;
            }
        }
        return true;
    }

    QString file(const char* name) const { return work.filePath(QLatin1String(name)); }
    void go() { QFile(file("go")).open(QIODevice::WriteOnly); }
    // A file the stand-in wrote, one entry a line: its arguments, its pid.
    QStringList standin(const char* name) const
    {
        QFile written(file(name));
        written.open(QIODevice::ReadOnly);
        return QString::fromLocal8Bit(written.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    // A window showing the camera, the switch answered by the stand-in.
    struct Shown
    {
        Vorn_Cam window;
        MainWindowInspector inspect{window};
        QPushButton* button = inspect.ui()->pushButton_register;
    };
    std::unique_ptr<Shown> show(bool preview)
    {
        if (hub.cameras().isEmpty()) {
            hub.plugCamera();
        }
        auto shown = std::make_unique<Shown>();
        shown->inspect.ui()->pushButton_preview->setChecked(preview);
        return shown;
    }

    static QString mode(const QString& path)
    {
        struct stat info = {};
        const bool found = stat(QFile::encodeName(path).constData(), &info) == 0;
        return found ? QString("%1 %2").arg(info.st_uid).arg(info.st_mode & 07777, 0, 8) : "gone";
    }

private slots:
    void initTestCase()
    {
        QVERIFY(keyFolder.isValid());
        qputenv("TMPDIR", keyFolder.path().toLocal8Bit());
        DeviceCatalog::setInstance(&catalog);
        // Like pkexec, ends only when the prompt and the program are done.
        QFile script(file("pkexec"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n"
                     "trap 'touch \"$STANDIN_DIR/terminated\"; exit 143' TERM\n"
                     "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$STANDIN_DIR/args\"\n"
                     "echo $$ > \"$STANDIN_DIR/pid\"\n"
                     "while [ ! -e \"$STANDIN_DIR/go\" ]; do sleep 0.05; done\n"
                     "printf '%s' \"$STANDIN_ERROR\" >&2\n"
                     "touch \"$STANDIN_DIR/done\"; exit \"${STANDIN_EXIT:-0}\"\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::ExeOwner));
        qputenv("STANDIN_DIR", work.path().toLocal8Bit());
        path = qEnvironmentVariable("PATH");
    }
    void cleanupTestCase() { DeviceCatalog::setInstance(nullptr); }
    void init()
    {
        hub.reset();
        qputenv("LUMORA_DEV_VCAM_HELPER", "1");
        qputenv("PATH", (work.path() + ':' + path).toLocal8Bit());
        qunsetenv("STANDIN_EXIT");
        qunsetenv("STANDIN_ERROR");
        for (const char* name : {"go", "pid", "terminated", "done"}) {
            QFile::remove(file(name));
        }
    }

    void commandsKeepTheirArgumentsWhole()
    {
        const ElevatedCommand windows = VirtualCameraCommand::windowsCommand(
            VirtualCameraCommand::windowsComponentPath("C:/Program Files/Lumora Tools"), false);
        QCOMPARE(windows.parameters,
                 QByteArray("/d /s /c \"\"%SystemRoot%\\System32\\regsvr32.exe\" /s /u  "
                            "\"C:\\Program Files\\Lumora Tools\\virtual\\vcam_dshow.dll\" && "
                            "\"%SystemRoot%\\SysWOW64\\regsvr32.exe\" /s /u  "
                            "\"C:\\Program Files\\Lumora Tools\\virtual\\x86\\vcam_dshow.dll\"\""));
        const ElevatedCommand on = VirtualCameraCommand::linuxCommand(
            VirtualCameraCommand::linuxComponentPath("/opt/my tools"), true, "/tmp/a \"b\" c");
        go();
        PkexecLauncher launcher(file("pkexec"));
        QVERIFY(launcher.runElevated(on.file, on.parameters, QByteArray(), 0) ==
                ElevatedLauncher::Result::Started);
        QCOMPARE(standin("args"), QStringList({"/opt/my tools/virtual/lumora-vcam", "register",
                                               "--tmpdir", "/tmp/a \"b\" c"}));
    }

    void theSwitchRegistersAndShares()
    {
        REQUIRE_DEVELOPMENT_HELPER();
        ScriptedDialogs dialogs; // a failed switch would otherwise block on its message
        go();
        {
            const auto shown = show(true);
            QVERIFY(framesPass(shown->inspect));
            QVERIFY(SharedFrameProbe::absent());
            shown->button->setChecked(true);
            QTRY_VERIFY_WITH_TIMEOUT(shown->button->isEnabled(), 30000);
            QVERIFY(shown->button->isChecked());
            const QString helper = QDir::currentPath() + "/virtual/lumora-vcam";
            QCOMPARE(standin("args"),
                     QStringList({helper, "register", "--tmpdir", keyFolder.path()}));
            QTRY_VERIFY_WITH_TIMEOUT(SharedFrameProbe::present(), 30000);
            shown->button->setChecked(false);
            QTRY_VERIFY_WITH_TIMEOUT(shown->button->isEnabled(), 30000);
            QCOMPARE(standin("args"), QStringList({helper, "unregister"}));
            // Nobody else held it: gone, and later frames bring it back no more.
            QVERIFY(framesPass(shown->inspect));
            QVERIFY(SharedFrameProbe::absent());
        }
        // Only the registered device's exact name starts the switch on.
        hub.addForeignVideoInput(VideoInputInfo("vorn dshow vcamera", "/dev/video41", false));
        QVERIFY(!MainWindowInspector(*std::make_unique<Vorn_Cam>()).virtualCameraPresent());
        hub.addForeignVideoInput(VideoInputInfo("Vorn DShow VCamera", "/dev/video42", false));
        const auto shown = show(true);
        QVERIFY(shown->button->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(SharedFrameProbe::present(), 30000);
        QVERIFY(dialogs.messages().isEmpty());
    }

    void aPendingSwitchHoldsAndClosingCancelsThePrompt()
    {
        REQUIRE_DEVELOPMENT_HELPER();
        ScriptedDialogs dialogs;
        auto shown = show(true);
        shown->button->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file("pid")), 30000);
        QVERIFY(framesPass(shown->inspect));
        QVERIFY(shown->button->isChecked() && !shown->button->isEnabled());
        // Another click does nothing, and a toggle from elsewhere is undone.
        QTest::mouseClick(shown->button, Qt::LeftButton);
        shown->button->setChecked(false);
        QVERIFY(shown->button->isChecked());
        const QString pid = standin("pid").value(0);
        shown.reset();
        // Ended and reaped: not even a zombie is left.
        QVERIFY(QFile::exists(file("terminated")));
        QVERIFY(!QFile::exists("/proc/" + pid));
        QVERIFY(dialogs.messages().isEmpty());
    }

    void aFailedSwitchRevertsAndSaysWhy()
    {
        // No exit code: no pkexec. Exit 0 without the development switch: only the
        // installed helper may run.
        const std::tuple<QByteArray, QByteArray, const char*> rows[] = {
            {"126", "", "declined"},
            {"127", "No authentication agent", "polkit authentication agent"},
            {"10", "", "v4l2loopback"},
            {"14", "", "0.12.5 or later"},
            {"", "", "needs pkexec"},
            {"0", "", "cmake --install"}};
        for (const auto& [exitCode, error, told] : rows) {
            if (!kDevelopmentHelper && exitCode != "0") {
                continue; // reaching pkexec takes the build's own helper
            }
            init();
            qputenv("STANDIN_EXIT", exitCode);
            qputenv("STANDIN_ERROR", error);
            if (exitCode.isEmpty()) {
                qputenv("PATH", work.filePath("nowhere").toLocal8Bit());
            } else if (exitCode == "0") {
                qunsetenv("LUMORA_DEV_VCAM_HELPER");
            }
            go();
            ScriptedDialogs dialogs;
            const auto shown = show(false);
            shown->button->setChecked(true);
            QTRY_VERIFY_WITH_TIMEOUT(shown->button->isEnabled(), 30000);
            QVERIFY2(!shown->button->isChecked(), told);
            QCOMPARE(dialogs.messages().size(), 1);
            QVERIFY2(dialogs.messages()[0].contains(told), qPrintable(dialogs.messages()[0]));
            QVERIFY(!dialogs.messages()[0].contains("LUMORA_DEV_VCAM_HELPER"));
            QVERIFY(exitCode != "0" || !QFile::exists(file("pid")));
        }
    }

    // Installed into a temporary prefix: owned and changeable by root only,
    // with its polkit action; a copy others could change is refused.
    void theHelperIsInstalledForRootOnly()
    {
        if (geteuid() != 0) {
            QSKIP("installing a helper that only root may change needs root");
        }
        QTemporaryDir prefix;
        QProcess install;
        install.setProcessChannelMode(QProcess::ForwardedChannels);
        // A permissive umask must not leak into the installed modes.
        install.start("sh", {"-c",
                             "umask 000; exec \"$0\" --install \"$1\" --prefix \"$2\" "
                             "--component virtualcamera",
                             LUMORA_CMAKE_COMMAND, LUMORA_BINARY_DIR, prefix.path()});
        QVERIFY(install.waitForFinished(120000));
        QCOMPARE(install.exitCode(), 0);
        const QString script = prefix.filePath("libexec/lumora/lumora-vcam");
        const QString policy = prefix.filePath("share/polkit-1/actions/org.lumora.vcam.policy");
        for (const QString& folder : {prefix.filePath("libexec"), prefix.filePath("libexec/lumora"),
                                      prefix.filePath("share/polkit-1/actions"), script,
                                      prefix.filePath("libexec/lumora/lumora-vcam-feeder"),
                                      prefix.filePath("libexec/lumora/lumora-vcam-ctl")}) {
            QCOMPARE(mode(folder), QString("0 755"));
        }
        QCOMPARE(mode(policy), QString("0 644"));
        QFile action(policy);
        QVERIFY(action.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(action.readAll());
        QVERIFY(text.contains("<message>Lumora wants to add its virtual camera</message>"));
        QVERIFY(text.contains("\"org.freedesktop.policykit.exec.path\">" + script + "</annotate>"));
        QCOMPARE(VirtualCameraCommand::linuxRefusal(script), QString());

        const QString folder = prefix.filePath("copy");
        QVERIFY(QDir().mkpath(folder));
        const QString copy = folder + "/lumora-vcam";
        QVERIFY(QFile::copy(script, copy));
        // The part others could change after chmod(path, mode), empty when none.
        const auto untrustedAfter = [&](const QString& path, mode_t mode) {
            return chmod(QFile::encodeName(path), mode) == 0 ? TrustedHelper::untrustedPart(copy)
                                                             : QStringLiteral("chmod failed");
        };
        QCOMPARE(untrustedAfter(copy, 0775), copy);
        QVERIFY(VirtualCameraCommand::linuxRefusal(copy).contains("cmake --install"));
        QCOMPARE(untrustedAfter(copy, 0755), QString());
        QCOMPARE(untrustedAfter(folder, 0777), folder);
        QCOMPARE(untrustedAfter(folder, 01777), QString()); // sticky, as /tmp: only owners rename
        QCOMPARE(chown(QFile::encodeName(copy), 65534, 65534), 0);
        QCOMPARE(TrustedHelper::untrustedPart(copy), copy);
        QVERIFY(VirtualCameraCommand::linuxRefusal(folder + "/gone").contains("not installed"));
    }

    void recordChecks()
    {
        using S = FrameRecord::Status;
        const int whole = FrameRecord::kRecordBytes;
        const std::tuple<qint32, qint32, qint32, qint64, S> rows[] = {
            {kW, kH, whole, 1 << 21, S::Valid},
            {0, 0, 0, whole, S::Unwritten},
            {65536, 65536, 12, whole, S::BadDimensions}, // the product overflows
            {kW, -kH, whole, whole, S::BadDimensions},
            {kW, kH, whole - 12, whole, S::SizeMismatch},
            {kW, kH, whole, 4096, S::LargerThanSegment},
            {320, 240, 230412, whole, S::UnexpectedPicture}};
        for (const auto& [width, height, size, segment, status] : rows) {
            const QByteArray bytes = record(width, height, size);
            const auto header =
                FrameRecord::readHeader(reinterpret_cast<const uchar*>(bytes.data()));
            QCOMPARE(int(FrameRecord::check(header, segment)), int(status));
        }
    }

    void theReaderWaitsWhileAFrameIsWritten()
    {
        QSharedMemory segment(QStringLiteral("shareFrame"));
        QVERIFY(segment.create(FrameRecord::kRecordBytes));
        SharedFrameLock writing(QStringLiteral("shareFrame"));
        QVERIFY(writing.lockForWriting());
        SharedFrameReader reader;
        QByteArray pixels;
        QFuture<SharedFrameReader::Result> read =
            QtConcurrent::run([&] { return reader.read(pixels); });
        QVERIFY(!QTest::qWaitFor([&] { return read.isFinished(); }, 200));
        const QImage second = noisePicture(24, kW, kH);
        writeInto(segment, record(kW, kH, FrameRecord::kRecordBytes, bottomUp(second)));
        writing.unlock();
        // The record as finished, never half-replaced.
        QCOMPARE(int(read.result()), int(SharedFrameReader::Result::Frame));
        QVERIFY(pixels == bottomUp(second));
    }

    // Too short for a header, or a record past its end: the placeholder.
    void unsoundRecordsShowThePlaceholder()
    {
        const QString output = work.filePath("frames.raw");
        constexpr qint64 kBytes = kW * kH * 3 / 2;
        for (const int segmentBytes : {8, 4096}) {
            QSharedMemory segment("shareFrame");
            QVERIFY(segment.create(segmentBytes));
            writeInto(segment, record(kW, kH, FrameRecord::kRecordBytes));
            QFile::remove(output);
            QProcess feeder;
            feeder.start(feederProgram(),
                         {"--output", output, "--frames", "3", "--fps", "60", "--format", "i420"});
            QVERIFY(feeder.waitForFinished(60000));
            QCOMPARE(feeder.exitCode(), 0);
            QCOMPARE(QFileInfo(output).size(), 3 * kBytes);
            QVERIFY(feederShows(output, placeholder()));
            QVERIFY(feeder.readAllStandardError().contains("record rejected"));
        }
    }

    void theRunningFeederHoldsTheSegmentUntilTheWriterGoes()
    {
        QImage first = noisePicture(31, 1280, 720);
        QImage second = noisePicture(32, kW, kH);
        auto writer = std::make_unique<Vorn_SharedMemory>();
        writer->captureOpen = true;
        writer->ImageFrame(first.bits(), 1280, 720);
        // Started as the registration tool starts it, --tmpdir naming Lumora's.
        const QString output = work.filePath("held.raw");
        QProcess feeder;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TMPDIR", work.path());
        feeder.setProcessEnvironment(environment);
        feeder.start(feederProgram(), {"--output", output, "--format", "i420", "--fps", "20",
                                       "--tmpdir", keyFolder.path()});
        QVERIFY(feeder.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(
            feederShows(output, SharedFrameProbe::letterboxed(first, QSize(kW, kH))), 30000);
        // The feeder holds the segment, so the writer's next attach finds it.
        writer->ImageFrame(second.bits(), kW, kH);
        QTRY_VERIFY_WITH_TIMEOUT(feederShows(output, second), 30000);
        // Lumora closes: the feeder must not show its last frame for good.
        writer.reset();
        QTRY_VERIFY_WITH_TIMEOUT(feederShows(output, placeholder()), 30000);
        QVERIFY(SharedFrameProbe::absent());
        feeder.terminate();
        QVERIFY(feeder.waitForFinished(30000));
        QCOMPARE(feeder.exitCode(), 0);
    }
};

QTEST_MAIN(tst_VirtualCamera)
#include "tst_virtualcamera.moc"
