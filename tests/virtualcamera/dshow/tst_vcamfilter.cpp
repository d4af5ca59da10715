// The virtual camera filter under wine, in a prefix of its own: the switch's
// command registers both bitnesses, DirectShow programs of both bitnesses
// (vcam_consumer) see the camera and receive its frames while Lumora's
// frame sharing publishes, the capture library lists its mode and opens it
// as a second client, and unregistering leaves nothing behind.
#include "colourbars.h"
#include "devicecatalog.h"
#include "dshowmodes.h"
#include "dshowsource.h"
#include "elevatedlauncher.h"
#include "sharedframeprobe.h"
#include "thirtytwobitprobe.h"
#include "videoinputinfo.h"
#include "virtualcameracommand.h"
#include "vorn_sharedmemory.h"
#include "yuvconversion.h"

#include <QSettings>
#include <QSharedMemory>
#include <QTimer>
#include <QtTest>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace {

const QString kClass = QStringLiteral("{66905ED6-5D8B-4EE6-B59B-0D70EBEF6AB1}");
constexpr qint64 kUnits = 10000000;
constexpr char kNo32Bit[] = "this machine starts no 32-bit programs";

QString bin(int bits)
{
    return bits == 64 ? QCoreApplication::applicationDirPath()
                      : QStringLiteral(LUMORA_WINDOWS_I686_BIN);
}

QByteArray fnv(const char* data, qint64 bytes)
{
    quint64 hash = 0xcbf29ce484222325ull;
    for (qint64 i = 0; i < bytes; ++i) {
        hash = (hash ^ uchar(data[i])) * 0x100000001b3ull;
    }
    return QByteArray::number(hash, 16).rightJustified(16, '0');
}

// What the camera must deliver for an upright 640 x 480 picture: a
// bottom-up DIB of B, G, R; or YUY2, upright, by the feeder's conversion.
QByteArray expected(const QImage& picture, const QString& format)
{
    const QImage bottomUp = picture.mirrored();
    if (format == QLatin1String("RGB24")) {
        const QImage dib = bottomUp.rgbSwapped();
        return fnv(reinterpret_cast<const char*>(dib.constBits()), dib.sizeInBytes());
    }
    QByteArray yuy2(640 * 480 * 2, Qt::Uninitialized);
    YuvConversion::bottomUpRgbToYuyv(bottomUp.constBits(), 640, 480,
                                     reinterpret_cast<uchar*>(yuy2.data()));
    return fnv(yuy2.constData(), yuy2.size());
}

QImage bars()
{
    QImage picture(640, 480, QImage::Format_RGB888);
    ColourBars::fillBottomUpRgb(picture.bits(), 640, 480);
    return picture.mirrored();
}

// 0 when the program ran and ended well, its exit code when it failed,
// -3 when it was not started.
int run(const QByteArray& file, const QByteArray& parameters)
{
    using Result = ElevatedLauncher::Result;
    int outcome = -1;
    QObject context;
    ElevatedLauncher::instance().startElevated(
        file, parameters, QByteArray(), 0, &context, [&outcome](Result result, int code) {
            outcome = result == Result::Started ? 0 : result == Result::ToolFailed ? code : -3;
        });
    return QTest::qWaitFor([&outcome] { return outcome != -1; }, 120000) ? outcome : -2;
}

int listed(int bits)
{
    QProcess consumer;
    consumer.start(bin(bits) + QStringLiteral("/vcam_consumer.exe"), {QStringLiteral("list")});
    return consumer.waitForFinished(120000) ? consumer.exitCode() : -1;
}

// A DirectShow program's frames, as it prints them.
struct Consumer
{
    QProcess process;
    QList<QByteArray> hashes;
    QList<qint64> starts;
    QList<qint64> stops;

    bool waitFor(const QByteArray& hash, int timeoutMs = 60000)
    {
        return QTest::qWaitFor(
            [this, &hash] {
                while (process.canReadLine()) {
                    const QList<QByteArray> f = process.readLine().trimmed().split(' ');
                    if (f.size() == 5 && f[0] == "frame") {
                        starts << f[1].toLongLong();
                        stops << f[2].toLongLong();
                        hashes << f[4];
                    }
                }
                return !hashes.isEmpty() && hashes.last() == hash;
            },
            timeoutMs);
    }
};

} // namespace

class tst_VcamFilter : public QObject
{
    Q_OBJECT

    Vorn_SharedMemory shared;
    QTimer camera; // publishes the current picture at 30 fps, as the camera would
    QImage picture;
    // A kernel without IA32 emulation runs no 32-bit program under wine: the
    // switch then registers the 64-bit filter and fails on the 32-bit tool,
    // and only the 64-bit half is checked.
    bool runs32 = true;
    QList<QSettings::Format> views() const
    {
        return runs32 ? QList{QSettings::Registry64Format, QSettings::Registry32Format}
                      : QList{QSettings::Registry64Format};
    }

    void publish(const QImage& image)
    {
        picture = image;
        camera.start();
    }
    void stopPublishing()
    {
        camera.stop();
        QCOMPARE(shared.detachSegment(), 0);
    }
    QByteArray command(bool enable)
    {
        const ElevatedCommand c = VirtualCameraCommand::windowsCommand(
            VirtualCameraCommand::windowsComponentPath(bin(64)), enable);
        return QByteArray::number(run(c.file, c.parameters));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(bin(32) + "/vcam_consumer.exe"),
                 "the 32-bit build (LUMORA_WINDOWS_I686_BIN) is needed");
        runs32 = startsThirtyTwoBitPrograms(bin(32) + "/vcam_consumer.exe", {"list"});
        // The native names the filter opens (README, sharedframeview.h).
        QCOMPARE(
            QSharedMemory(QStringLiteral("shareFrame")).nativeKey(),
            QStringLiteral("qipc_sharedmemory_shareFrame41fae676942de6736209d95028705999c02ab7f1"));
        shared.captureOpen = true;
        camera.setInterval(33);
        connect(&camera, &QTimer::timeout, this,
                [this] { shared.ImageFrame(picture.bits(), picture.width(), picture.height()); });
    }

    void theSwitchRegistersBothBitnesses()
    {
        QCOMPARE(listed(64), 3);
        const QByteArray result = command(true);
        QCOMPARE(listed(64), 0);
        const QString server =
            QStringLiteral("HKEY_CLASSES_ROOT\\CLSID\\%1\\InprocServer32").arg(kClass);
        const QString dll = VirtualCameraCommand::windowsComponentPath(bin(64));
        for (QSettings::Format view : views()) {
            const QString path = view == QSettings::Registry64Format
                                     ? dll
                                     : VirtualCameraCommand::windows32BitComponentPath(dll);
            QCOMPARE(
                QFileInfo(QSettings(server, view).value("Default").toString()).canonicalFilePath(),
                QFileInfo(path).canonicalFilePath());
        }
        if (!runs32) {
            QSKIP(kNo32Bit);
        }
        QCOMPARE(result, QByteArray("0"));
        QCOMPARE(listed(32), 0);
    }

    void programsSeeBarsThenThePicture_data()
    {
        QTest::addColumn<int>("bits");
        QTest::addColumn<QString>("format");
        for (int bits : {64, 32}) {
            for (const char* format : {"RGB24", "YUY2"}) {
                QTest::addRow("%d-bit %s", bits, format) << bits << QString(format);
            }
        }
    }

    void programsSeeBarsThenThePicture()
    {
        QFETCH(int, bits);
        QFETCH(QString, format);
        if (bits == 32 && !runs32) {
            QSKIP(kNo32Bit);
        }
        const QImage first = SharedFrameProbe::noisePicture(bits, 640, 480);
        const QImage second = SharedFrameProbe::noisePicture(bits + 1, 640, 480);
        Consumer consumer;
        consumer.process.start(bin(bits) + "/vcam_consumer.exe", {"run", format});
        QElapsedTimer wall;
        QVERIFY(consumer.waitFor(expected(bars(), format)));
        wall.start();
        QCOMPARE(consumer.hashes.first(), expected(bars(), format)); // from the first frame on
        publish(first);
        QVERIFY(consumer.waitFor(expected(first, format)));
        stopPublishing(); // the writer goes ...
        QVERIFY(consumer.waitFor(expected(bars(), format)));
        publish(second); // ... and comes back
        QVERIFY(consumer.waitFor(expected(second, format)));
        stopPublishing();
        const qint64 elapsed = wall.elapsed();
        consumer.process.write("\n");
        QVERIFY(consumer.process.waitForFinished(60000));
        QCOMPARE(consumer.process.exitCode(), 0);

        // Every stamp on the 30 fps grid, one frame long, increasing; most
        // frames follow their predecessor, and the grid keeps to the clock.
        qint64 previous = -1, consecutive = 0;
        for (int i = 0; i < consumer.starts.size(); ++i) {
            const qint64 n = (consumer.starts[i] * 30 + kUnits / 2) / kUnits;
            QCOMPARE(consumer.starts[i], n * kUnits / 30);
            QCOMPARE(consumer.stops[i], (n + 1) * kUnits / 30);
            QVERIFY(n > previous);
            consecutive += n == previous + 1;
            previous = n;
        }
        QVERIFY2(consecutive * 4 >= consumer.starts.size() * 3,
                 qPrintable(QString::number(consecutive)));
        const qint64 spanMs = (previous - consumer.starts.first() * 30 / kUnits) * 1000 / 30;
        QVERIFY2(qAbs(spanMs - elapsed) < elapsed / 5 + 300,
                 qPrintable(QStringLiteral("%1 ms of stamps in %2 ms").arg(spanMs).arg(elapsed)));
    }

    void theCaptureLibraryIsASecondClient()
    {
        const QImage image = SharedFrameProbe::noisePicture(7, 640, 480);
        Consumer consumer;
        consumer.process.start(bin(runs32 ? 32 : 64) + "/vcam_consumer.exe", {"run", "YUY2"});
        publish(image);
        QVERIFY(consumer.waitFor(expected(image, "YUY2")));

        QString device;
        for (const VideoInputInfo& input : DeviceCatalog::instance().videoInputs()) {
            if (input.description() == QLatin1String("Vorn DShow VCamera")) {
                device = input.deviceName();
            }
        }
        QVERIFY(!device.isEmpty());
        // As the dshow input lists it: one size and rate, in YUY2 (its
        // RGB24 is no format the capture takes), which is then opened from
        // that listing, with no second one.
        const int listings = dshowModeListings();
        QCOMPARE(dshowCaptureModes(device),
                 (QList<CaptureMode>{{640, 480, 30, CaptureMode::Format::Yuyv}}));
        DshowSource source(device);
        QVERIFY(source.open({640, 480, 30}));
        QCOMPARE(dshowModeListings(), listings + 1);
        QCOMPARE(source.codecParameters()->format, int(AV_PIX_FMT_YUYV422));
        const QString format = QStringLiteral("YUY2");
        AVPacket* packet = av_packet_alloc();
        QByteArray seen;
        const bool found = QTest::qWaitFor(
            [&] {
                if (source.read(packet) == FrameSource::ReadResult::Packet) {
                    seen = fnv(reinterpret_cast<const char*>(packet->data), packet->size);
                    av_packet_unref(packet);
                }
                return seen == expected(image, format);
            },
            60000);
        av_packet_free(&packet);
        QVERIFY2(found, seen.constData());
        // The first program still receives the picture beside it.
        consumer.hashes.clear();
        QVERIFY(consumer.waitFor(expected(image, "YUY2")));
        stopPublishing();
        consumer.process.write("\n");
        QVERIFY(consumer.process.waitForFinished(60000));
    }

    void failuresSayWhy()
    {
        if (!runs32) {
            QSKIP(kNo32Bit); // wine's regsvr32 hands a file it cannot load to the 32-bit one
        }
        // A file that is no library where the 64-bit filter belongs.
        QTemporaryDir folder;
        QVERIFY(QDir(folder.path()).mkpath("virtual"));
        QFile file(VirtualCameraCommand::windowsComponentPath(folder.path()));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a library") > 0);
        file.close();
        const ElevatedCommand c = VirtualCameraCommand::windowsCommand(file.fileName(), true);
        const int exitCode = run(c.file, c.parameters);
        QVERIFY2(VirtualCameraCommand::windowsFailureMessage(
                     true, ElevatedLauncher::Result::ToolFailed, exitCode)
                     .contains("could not load vcam_dshow.dll"),
                 qPrintable(QString::number(exitCode)));
    }

    void unregisteringLeavesNothing()
    {
        const QByteArray result = command(false);
        QCOMPARE(listed(64), 3);
        const QString instance =
            QStringLiteral("CLSID\\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\Instance\\") + kClass;
        for (QSettings::Format view : views()) {
            for (const QString& key : {QStringLiteral("CLSID\\") + kClass, instance}) {
                QSettings settings(QStringLiteral("HKEY_CLASSES_ROOT\\") + key, view);
                QVERIFY2(settings.allKeys().isEmpty(), qPrintable(key));
            }
        }
        if (!runs32) {
            QSKIP(kNo32Bit);
        }
        QCOMPARE(result, QByteArray("0"));
        QCOMPARE(listed(32), 3);
    }
};

QTEST_GUILESS_MAIN(tst_VcamFilter)
#include "tst_vcamfilter.moc"
