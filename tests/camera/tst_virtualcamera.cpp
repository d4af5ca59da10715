// The virtual camera switch of the main window: what it asks the elevated
// launcher to start, the frame sharing it connects and disconnects, and
// what happens when the launch fails. The real capture library reads the
// simulated camera; the shared frame is read back by a separate process.
#include "elevatedlauncher.h"
#include "logcapture.h"
#include "mainwindowinspector.h"
#include "scripteddialogs.h"
#include "sharedframeprobe.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "vorn_ffmpeglib.h"
#include "vorn_sharedmemory.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <cstdio>
#include <unistd.h>

namespace {

// Records what would be started with administrator rights.
class FakeLauncher : public ElevatedLauncher
{
public:
    struct Call
    {
        QByteArray file;
        QByteArray parameters;
        QByteArray directory;
        int showCommand;
    };

    int runElevated(const QByteArray& file, const QByteArray& parameters,
                    const QByteArray& directory, int showCommand) override
    {
        calls.append({file, parameters, directory, showCommand});
        return result;
    }

    QList<Call> calls;
    int result = 42;
};

// What the program prints to standard output meanwhile. Debug lines must
// be taken by a LogCapture, or the test framework prints them there too.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        m_file.open();
        std::fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture() { restore(); }

    // Read through a file of its own: the captured descriptor's offset
    // stands at the end of what was written.
    QByteArray text()
    {
        restore();
        QFile written(m_file.fileName());
        written.open(QIODevice::ReadOnly);
        return written.readAll();
    }

private:
    void restore()
    {
        if (m_saved >= 0) {
            std::fflush(stdout);
            dup2(m_saved, STDOUT_FILENO);
            close(m_saved);
            m_saved = -1;
        }
    }

    QTemporaryFile m_file;
    int m_saved = -1;
};

QImage knownFrame()
{
    QImage frame(1280, 720, QImage::Format_RGB888);
    for (int y = 0; y < 720; ++y) {
        uchar* row = frame.scanLine(y);
        for (int x = 0; x < 1280 * 3; ++x) {
            row[x] = uchar(x / 3 + y * 5 + x % 3 * 40);
        }
    }
    return frame;
}

QByteArray scaledRow(const QImage& frame, int y)
{
    const QImage scaled = frame.scaled(640, 480, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return QByteArray(reinterpret_cast<const char*>(scaled.constScanLine(y)), 640 * 3);
}

} // namespace

class tst_VirtualCamera : public QObject
{
    Q_OBJECT

private:
    SimulatedHub& hub = SimulatedHub::instance();
    SimulatedDeviceCatalog catalog;
    ScriptedDialogs dialogs; // a failed switch tells the user why
    FakeLauncher* launcher = nullptr;
    QTemporaryDir keyFolder;
    QString startFolder;

    static QPushButton* registerSwitch(MainWindowInspector& inspect)
    {
        return inspect.ui()->pushButton_register;
    }

    static bool startPreview(MainWindowInspector& inspect)
    {
        inspect.ui()->pushButton_preview->setChecked(true);
        return QTest::qWaitFor([&] { return !inspect.lastFrame().isNull(); }, 10000);
    }

    // One known frame through the capture library's signal, as the library
    // delivers its frames; the probe runs before the next real one.
    static void deliverKnownFrame(MainWindowInspector& inspect, QImage& frame)
    {
        emit inspect.captureLib()->frameBuffer(frame.bits(), frame.width(), frame.height());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(keyFolder.isValid());
        qputenv("TMPDIR", keyFolder.path().toLocal8Bit());
        DeviceCatalog::setInstance(&catalog);
        startFolder = QDir::currentPath();
    }
    void cleanupTestCase() { DeviceCatalog::setInstance(nullptr); }
    void init()
    {
        hub.reset();
        launcher = new FakeLauncher;
        ElevatedLauncher::setInstance(launcher);
    }
    void cleanup()
    {
        ElevatedLauncher::setInstance(nullptr);
        delete launcher;
        launcher = nullptr;
        QDir::setCurrent(startFolder);
    }

    void switchingOnRegistersAndShares()
    {
        hub.plugCamera();
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        QVERIFY(!inspect.virtualCameraPresent());
        QVERIFY(!registerSwitch(inspect)->isChecked());
        QVERIFY(startPreview(inspect));
        // Not switched on yet: the frames go to the preview only.
        QTest::qWait(200);
        QVERIFY(SharedFrameProbe::absent());

        LogCapture log;
        StdoutCapture out;
        registerSwitch(inspect)->setChecked(true);
        const QByteArray printed = out.text();

        const QString component = QDir::currentPath() + "/virtual/lumora-vcam";
        QCOMPARE(launcher->calls.size(), 1);
        QCOMPARE(launcher->calls[0].file, component.toLocal8Bit());
        QCOMPARE(launcher->calls[0].parameters,
                 "register --tmpdir \"" + keyFolder.path().toLocal8Bit() + "\"");
        QCOMPARE(launcher->calls[0].directory, QByteArray());
        QCOMPARE(launcher->calls[0].showCommand, 0);
        QCOMPARE(printed, "Exec: \"" + launcher->calls[0].file + " " +
                              launcher->calls[0].parameters + " \" Succeeded\n");
        QCOMPARE(log.lines().mid(0, 2), QStringList({component, "on"}));

        // Frames are shared now; the record holds the frame last delivered.
        QTRY_VERIFY_WITH_TIMEOUT(SharedFrameProbe::read().present, 5000);
        QImage frame = knownFrame();
        deliverKnownFrame(inspect, frame);
        const SharedRecord record = SharedFrameProbe::read();
        QCOMPARE(record.width, 640);
        QCOMPARE(record.height, 480);
        QCOMPARE(record.size, 921612);
        QCOMPARE(record.pixels.left(1920), scaledRow(frame, 479));
        QCOMPARE(record.pixels.mid(1920 * 479, 1920), scaledRow(frame, 0));
    }

    void switchingOffUnregistersAndDetaches()
    {
        hub.plugCamera();
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        QVERIFY(startPreview(inspect));
        registerSwitch(inspect)->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(SharedFrameProbe::read().present, 5000);

        LogCapture log;
        StdoutCapture out;
        registerSwitch(inspect)->setChecked(false);
        QCOMPARE(launcher->calls.size(), 2);
        QCOMPARE(launcher->calls[1].file, launcher->calls[0].file);
        QCOMPARE(launcher->calls[1].parameters, QByteArray("unregister"));
        // Warnings pass through to the test log, which shares the output.
        const QByteArray printed = out.text();
        QVERIFY2(
            printed.startsWith("Exec: \"" + launcher->calls[1].file + " unregister \" Succeeded\n"),
            printed.constData());
        QVERIFY(log.lines().contains("off"));
        QVERIFY(log.lines().contains("WriteSharedMemory:: detached success."));

        // Nobody else held it: the segment is gone, and the frames that keep
        // coming bring it back no more.
        QVERIFY(SharedFrameProbe::absent());
        const QImage shown = inspect.lastFrame().copy();
        QTRY_VERIFY_WITH_TIMEOUT(inspect.lastFrame() != shown, 5000);
        QVERIFY(SharedFrameProbe::absent());
    }

    void nothingSharedWhileCaptureIsClosed()
    {
        hub.plugCamera();
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        registerSwitch(inspect)->setChecked(true);
        QVERIFY(!inspect.captureLib()->CaptureIsOpen());
        QImage frame = knownFrame();
        deliverKnownFrame(inspect, frame);
        QVERIFY(!inspect.sharedMemory()->captureOpen);
        QVERIFY(SharedFrameProbe::absent());

        // Switching the preview off detaches as well.
        QVERIFY(startPreview(inspect));
        QTRY_VERIFY_WITH_TIMEOUT(SharedFrameProbe::read().present, 5000);
        inspect.ui()->pushButton_preview->setChecked(false);
        QVERIFY(SharedFrameProbe::absent());
    }

    void aDeclinedRegistrationLeavesEverythingOff()
    {
        hub.plugCamera();
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        QVERIFY(startPreview(inspect));
        launcher->result = 5;

        QSignalSpy toggled(registerSwitch(inspect), &QPushButton::toggled);
        LogCapture log;
        StdoutCapture out;
        registerSwitch(inspect)->setChecked(true);
        QCOMPARE(out.text(), QByteArray("Failed\nError code : 5\n"));
        QVERIFY(!registerSwitch(inspect)->isChecked());
        // Turned back without a second launch.
        QCOMPARE(launcher->calls.size(), 1);
        QCOMPARE(toggled.count(), 1);

        const QImage shown = inspect.lastFrame().copy();
        QTRY_VERIFY_WITH_TIMEOUT(inspect.lastFrame() != shown, 5000);
        QVERIFY(SharedFrameProbe::absent());
    }

    void aDeclinedUnregistrationKeepsSharing()
    {
        hub.addForeignVideoInput(VideoInputInfo("Vorn DShow VCamera", "/dev/video42", false));
        hub.plugCamera();
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        QVERIFY(registerSwitch(inspect)->isChecked());
        QVERIFY(startPreview(inspect));
        QTRY_VERIFY_WITH_TIMEOUT(SharedFrameProbe::read().present, 5000);

        launcher->result = 2;
        registerSwitch(inspect)->setChecked(false);
        QCOMPARE(launcher->calls.size(), 1);
        QVERIFY(registerSwitch(inspect)->isChecked());
        QImage frame = knownFrame();
        deliverKnownFrame(inspect, frame);
        QCOMPARE(SharedFrameProbe::read().pixels.left(1920), scaledRow(frame, 479));
    }

    void theRegisteredDeviceStartsTheSwitchOn()
    {
        hub.addForeignVideoInput(VideoInputInfo("Vorn DShow VCamera", "/dev/video42", false));
        hub.plugCamera();
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        QVERIFY(inspect.virtualCameraPresent());
        QVERIFY(registerSwitch(inspect)->isChecked());
        QVERIFY(launcher->calls.isEmpty());
        // The loopback device is no USB camera: not offered in the list.
        QCOMPARE(inspect.cameraTable().size(), 1);

        QVERIFY(startPreview(inspect));
        QImage frame = knownFrame();
        deliverKnownFrame(inspect, frame);
        QCOMPARE(SharedFrameProbe::read().pixels.left(1920), scaledRow(frame, 479));
    }

    void theDeviceNameMustMatchExactly()
    {
        hub.addForeignVideoInput(VideoInputInfo("vorn dshow vcamera", "/dev/video42", false));
        hub.plugCamera();
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        QVERIFY(!inspect.virtualCameraPresent());
        QVERIFY(!registerSwitch(inspect)->isChecked());
        QVERIFY(startPreview(inspect));
        QTest::qWait(200);
        QVERIFY(SharedFrameProbe::absent());
    }

    void theComponentIsFoundBelowTheWorkingFolder()
    {
        QTemporaryDir folder;
        const QString withBlanks = folder.filePath("my camera tools");
        QVERIFY(QDir().mkpath(withBlanks));
        QVERIFY(QDir::setCurrent(withBlanks));
        hub.plugCamera();
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        registerSwitch(inspect)->setChecked(true);
        QCOMPARE(launcher->calls.size(), 1);
        QCOMPARE(QString::fromLocal8Bit(launcher->calls[0].file),
                 QDir::currentPath() + "/virtual/lumora-vcam");
    }
};

QTEST_MAIN(tst_VirtualCamera)
#include "tst_virtualcamera.moc"
