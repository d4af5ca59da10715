#include "mainwindowinspector.h"
#include "privatepulseserver.h"
#include "scripteddialogs.h"
#include "tst_recording_support.h"
#include "uvcdevice.h"
#include "vorn_ffmpeglib.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// The real program on the Linux camera path: discovery through /dev and
// sysfs, capture through libavdevice's V4L2 input, against a uvcvideo camera
// emulated in user space.
class tst_LinuxCamera : public QObject
{
    Q_OBJECT

private:
    UvcDeviceControl device;
    PrivatePulseServer pulse;
    QTemporaryDir folder;
    int node = -1;

    QString log() { return QString::fromStdString(device.takeLog()); }

    static int pictureNumber(const UvcDeviceControl& device, const QImage& picture)
    {
        const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
        return device.readPicture(rgb.constBits(), rgb.width(), rgb.height(),
                                  int(rgb.bytesPerLine()));
    }

    // Previews the lone camera, which the window has opened at once.
    static bool preview(MainWindowInspector& inspect)
    {
        inspect.ui()->pushButton_preview->setChecked(true);
        return QTest::qWaitFor([&] { return !inspect.lastFrame().isNull(); }, 20000);
    }

    QString record(MainWindowInspector& inspect, ScriptedDialogs& dialogs, const QString& name)
    {
        dialogs.fileName = folder.filePath(name);
        dialogs.selectedFilter = QStringLiteral("MP4 (*.mp4)");
        inspect.ui()->bt_record->setChecked(true);
        return inspect.recordTimer() ? inspect.recordFileName() : QString();
    }

private slots:
    void initTestCase()
    {
        qunsetenv("LUMORA_SIMULATED_CAMERAS");
        QVERIFY2(device.loaded(), "libuvcdevice.so is not preloaded");
        QString error;
        QVERIFY2(pulse.start(&error), qPrintable(error));
        QVERIFY(pulse.addNullSource("ptzmic", "PTZ Cam Microphone") >= 0);
    }

    void init()
    {
        node = device.plug("PTZ Cam|all|4,6");
        QVERIFY(node >= 0);
        log();
    }

    void cleanup() { device.unplug(node); }

    void discoveryPairsTheMicrophoneAndFollowsPlugging()
    {
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        QCOMPARE(inspect.cameraTable().size(), 1);
        CameraDevice entry = inspect.cameraTable().first();
        QCOMPARE(entry.camera.description(), QString("PTZ Cam"));
        QCOMPARE(entry.camera.deviceName(), QString("/dev/video%1").arg(node));
        QCOMPARE(entry.microphone.deviceName(), QString("PTZ Cam Microphone"));
        QVERIFY(inspect.captureOn());

        device.unplug(node);
        inspect.discoveryPass();
        QVERIFY(inspect.cameraTable().isEmpty());
        QVERIFY(!inspect.captureOn());

        node = device.plug("PTZ Cam|all|4,6");
        inspect.discoveryPass();
        QCOMPARE(inspect.cameraTable().size(), 1);
        QCOMPARE(inspect.cameraTable().first().camera.deviceName(),
                 QString("/dev/video%1").arg(node));
        QCOMPARE(inspect.cameraTable().first().microphone.deviceName(),
                 QString("PTZ Cam Microphone"));
    }

    void previewTakesTheFastMjpegMode()
    {
        Vorn_Cam window;
        window.show();
        MainWindowInspector inspect(window);
        QVERIFY(preview(inspect));
        QVERIFY(log().contains("VIDIOC_STREAMON MJPG 1280x720 interval=333333\n"));
        QCOMPARE(inspect.lastFrame().size(), QSize(1280, 720));
        // The shown picture is the device's own, through the label.
        QVERIFY(pictureNumber(device, inspect.lastFrame()) >= 0);
        QTRY_VERIFY(
            pictureNumber(
                device, inspect.ui()->label_cameraview->pixmap(Qt::ReturnByValue).toImage()) >= 0);
    }

    void aCameraWithOnlyYuyvPreviews()
    {
        device.unplug(node);
        node = device.plug("YUYV Cam|yuyv|4,6");
        Vorn_Cam window;
        window.show();
        MainWindowInspector inspect(window);
        QVERIFY(preview(inspect));
        QVERIFY(log().contains("VIDIOC_STREAMON YUYV 1280x720 interval=1000000\n"));
        QCOMPARE(inspect.lastFrame().size(), QSize(1280, 720));
        QVERIFY(pictureNumber(device, inspect.lastFrame()) >= 0);
    }

    void unplugWhilePreviewingReleasesTheCamera()
    {
        Vorn_Cam window;
        window.show();
        MainWindowInspector inspect(window);
        QVERIFY(preview(inspect));
        device.unplug(node);
        QTRY_VERIFY_WITH_TIMEOUT(!inspect.captureLib()->CaptureIsOpen(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!inspect.captureOn(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(device.streamingHandles(), 0, 10000);
        QVERIFY(!inspect.ui()->pushButton_preview->isChecked());

        // A camera plugged in afterwards previews again.
        node = device.plug("PTZ Cam|all|4,6");
        inspect.discoveryPass();
        inspect.activate(1);
        QVERIFY(inspect.captureOn());
        const QImage before = inspect.lastFrame();
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(inspect.lastFrame().cacheKey() != before.cacheKey(), 20000);
    }

    void unplugWhileRecordingKeepsTheFileUpToThere()
    {
        ScriptedDialogs dialogs;
        Vorn_Cam window;
        window.show();
        MainWindowInspector inspect(window);
        QVERIFY(preview(inspect));
        const QString file = record(inspect, dialogs, "unplugged.mp4");
        QVERIFY(!file.isEmpty());
        QSignalSpy frames(inspect.captureLib(), &Vorn_FFmpeglib::frameBuffer);
        QTRY_VERIFY_WITH_TIMEOUT(frames.size() >= 60, 20000);
        device.unplug(node);
        QTRY_VERIFY_WITH_TIMEOUT(!inspect.recordTimer(), 20000);
        QTRY_VERIFY_WITH_TIMEOUT(!inspect.captureOn(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(device.streamingHandles(), 0, 10000);

        const FileFacts facts = inspectRecording(file);
        QVERIFY2(facts.opened, qPrintable(facts.error));
        QVERIFY(facts.readToEnd);
        QCOMPARE(facts.decodeErrors, 0);
        QCOMPARE(facts.video.codec, QString("h264"));
        QVERIFY(facts.videoFramesDecoded >= 30);
        QVERIFY2(facts.video.duration >= 1.0, qPrintable(QString::number(facts.video.duration)));
    }

    void tenSecondRecordingIsH264AndAac()
    {
        ScriptedDialogs dialogs;
        Vorn_Cam window;
        window.show();
        MainWindowInspector inspect(window);
        QVERIFY(preview(inspect));
        const QString file = record(inspect, dialogs, "ten.mp4");
        QVERIFY(!file.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(inspect.ui()->label_recordTime->text(), QString("00:00:10"),
                                  30000);
        inspect.ui()->bt_record->setChecked(false);
        QCOMPARE(dialogs.messages().last(), QString("Video save successful "));

        const FileFacts facts = inspectRecording(file);
        QVERIFY2(facts.opened, qPrintable(facts.error));
        QVERIFY(facts.readToEnd);
        QCOMPARE(facts.decodeErrors, 0);
        QCOMPARE(facts.video.codec, QString("h264"));
        QCOMPARE(QSize(facts.video.width, facts.video.height), QSize(1280, 720));
        QCOMPARE(facts.audio.codec, QString("aac"));
        QVERIFY2(facts.video.duration > 9.5 && facts.video.duration < 12.0,
                 qPrintable(QString::number(facts.video.duration)));
        QVERIFY(facts.audio.duration > 9.0);
    }
};

QTEST_MAIN(tst_LinuxCamera)
#include "tst_linuxcamera.moc"
