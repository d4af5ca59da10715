#include "logcapture.h"
#include "mainwindowinspector.h"
#include "scripteddialogs.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "simulatedpropertydevices.h"
#include "vorn_ffmpeglib.h"
#include "vorn_settingaudio.h"
#include "vorn_sharedmemory.h"

#include <QSignalSpy>
#include <QtTest>

// Starting a camera without holding the GUI thread, a camera restarting for
// a new setting, and who else holds the shared frame.
class tst_CameraLifecycle : public QObject
{
    Q_OBJECT

    SimulatedHub& hub = SimulatedHub::instance();
    SimulatedDeviceCatalog catalog;
    SimulatedPropertyDevices devices;

private slots:
    void initTestCase()
    {
        DeviceCatalog::setInstance(&catalog);
        PropertyDevices::setInstance(&devices);
    }
    void cleanup() { hub.reset(); }

    void captureStartsWithoutWaitingForFrames()
    {
        auto camera = hub.plugCamera();
        Vorn_FFmpeglib lib;
        lib.SetCapture(camera->config().description.toStdString(), 0);
        QSignalSpy started(&lib, &Vorn_FFmpeglib::captureStarted);
        QSignalSpy frames(&lib, &Vorn_FFmpeglib::frameBuffer);
        QVERIFY(lib.StartCaptureAsync());
        QVERIFY(!lib.CaptureIsOpen()); // back before the camera sent anything
        QVERIFY(started.wait(10000));
        // A start stopped while pending never reports; the next one does.
        lib.StartCaptureAsync();
        lib.StopCapture();
        lib.StartCaptureAsync();
        frames.clear();
        QTRY_VERIFY_WITH_TIMEOUT(!frames.isEmpty(), 10000);
        QCOMPARE(QList<QVariantList>(started), QList<QVariantList>({{true}, {true}}));
    }

    void audioSwitchRestartsTheCamera()
    {
        auto camera = hub.plugCamera();
        camera->modifyControlConfig(
            [](SimulatedControlConfig& c) { c.restartMilliseconds = 2500; });
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(inspect.captureLib()->CaptureIsOpen(), 10000);
        ScriptedDialogs answers;
        auto* audio = inspect.settingAudio()->findChild<QPushButton*>("pushButton_Audio");
        audio->click();
        QTRY_VERIFY_WITH_TIMEOUT(hub.cameras().isEmpty(), 10000);
        // Back, opened again, and previewing as before.
        QTRY_VERIFY_WITH_TIMEOUT(!hub.cameras().isEmpty() && inspect.captureLib()->CaptureIsOpen(),
                                 30000);
        QVERIFY(audio->isEnabled() && !audio->isChecked()); // the setting it came back with
    }

    void onlyAnotherHolderOfTheSharedFrameIsReported()
    {
        Vorn_SharedMemory shared;
        shared.captureOpen = true;
        QImage frame(1280, 720, QImage::Format_RGB888);
        frame.fill(Qt::darkCyan);
        LogCapture log;
        QSharedMemory reader(QStringLiteral("shareFrame"));
        for (int i = 0; i < 8; ++i) {
            if (i == 3 || i == 6) { // the virtual camera comes and goes
                QVERIFY(i == 3 ? reader.attach(QSharedMemory::ReadOnly) : reader.detach());
            }
            shared.ImageFrame(frame.bits(), frame.width(), frame.height());
            QCOMPARE(log.count("shared memory is exist"), qBound(0, i - 2, 3));
        }
    }
};

QTEST_MAIN(tst_CameraLifecycle)
#include "tst_cameralifecycle.moc"
