#include "logcapture.h"
#include "mainwindowinspector.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "vorn_settingaudio.h"
#include "vorn_settingupgrade.h"
#include "vorn_settingvideo.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

SimulatedCameraConfig cameraNamed(const QString& description, const QString& microphone)
{
    SimulatedCameraConfig config;
    config.description = description;
    config.microphoneName = microphone;
    return config;
}

QStringList comboTexts(Vorn_Cam& window)
{
    MainWindowInspector inspect(window);
    QStringList texts;
    for (int i = 0; i < inspect.ui()->comboBox->count(); ++i) {
        texts << inspect.ui()->comboBox->itemText(i);
    }
    return texts;
}

} // namespace

// Discovery, microphone pairing and the choice of camera, against the
// simulated hub standing in for the USB bus.
class tst_Discovery : public QObject
{
    Q_OBJECT

private:
    SimulatedHub& hub = SimulatedHub::instance();
    SimulatedDeviceCatalog catalog;

    std::unique_ptr<Vorn_Cam> makeWindow()
    {
        auto window = std::make_unique<Vorn_Cam>();
        return window;
    }

private slots:
    void initTestCase() { DeviceCatalog::setInstance(&catalog); }
    void cleanupTestCase() { DeviceCatalog::setInstance(nullptr); }
    void init() { hub.reset(); }

    void identicalCamerasGetMicrophonesBackwards()
    {
        auto first = hub.plugCamera(cameraNamed("Cam A", "Microphone (Cam A)"));
        auto second = hub.plugCamera(cameraNamed("Cam A", "Microphone (Cam A)"));
        auto window = makeWindow();
        MainWindowInspector inspect(*window);

        const CameraTable& table = inspect.cameraTable();
        QCOMPARE(table.size(), 2);
        QCOMPARE(table.value(1).camera.deviceName(), first->deviceName());
        QCOMPARE(table.value(2).camera.deviceName(), second->deviceName());
        // The last microphone the system lists goes to key 1.
        QCOMPARE(table.value(1).microphone.systemId(), second->deviceName() + ":mic");
        QCOMPARE(table.value(2).microphone.systemId(), first->deviceName() + ":mic");
        QCOMPARE(table.value(1).cameraIndex, 0);
        QCOMPARE(table.value(2).deviceId, 1);
        QCOMPARE(sameNameCameraOrdinal(table, 1), 0);
        QCOMPARE(sameNameCameraOrdinal(table, 2), 1);

        LogCapture log;
        inspect.activate(2);
        QVERIFY(log.contains("open camera name:  \"Cam A\"  id:  1"));
        QVERIFY(log.contains("microphone name:  \"Microphone (Cam A)\"  id:  1"));
        QVERIFY(log.lines().contains("\033[32m camera:  \"Cam A\" \033[m"));
        QVERIFY(log.lines().contains("\033[32m cameraid:  1 \033[m"));
    }

    void emptyDescriptionAndMissingMicrophones()
    {
        hub.plugCamera(cameraNamed("Alpha", "Microphone (Alpha)"));
        hub.plugCamera(cameraNamed("", ""));
        hub.plugCamera(cameraNamed("Beta", ""));
        hub.addForeignAudioInput(AudioInputInfo("Line In", "line-in"));
        hub.addForeignVideoInput(VideoInputInfo("Vorn DShow VCamera", "/dev/video40", false));
        auto window = makeWindow();
        MainWindowInspector inspect(*window);

        const CameraTable& table = inspect.cameraTable();
        QCOMPARE(table.size(), 3); // the software camera is no USB camera
        QCOMPARE(table.value(1).microphone.deviceName(), QString("Microphone (Alpha)"));
        // An empty description fits every name: it takes the first device
        // of the backward walk that nobody before it took.
        QCOMPARE(table.value(2).microphone.deviceName(), QString("Line In"));
        QVERIFY(table.value(3).microphone.isNull());
        QCOMPARE(sameNameMicrophoneOrdinal(table, 3), 0);
        QVERIFY(inspect.virtualCameraPresent());
    }

    void comboBoxEntries()
    {
        hub.plugCamera(cameraNamed("Cam A", "Microphone (Cam A)"));
        hub.plugCamera(cameraNamed("Cam B", "Microphone (Cam B)"));
        auto window = makeWindow();
        MainWindowInspector inspect(*window);
        // Two cameras at start: nothing is chosen, and the list shows at once.
        QCOMPARE(inspect.currentIndex(), 0);
        QVERIFY(!inspect.captureOn());
        QCOMPARE(comboTexts(*window), QStringList({"No camera selected", "Cam A", "Cam B"}));

        inspect.discoveryPass();
        QCOMPARE(comboTexts(*window), QStringList({"No camera selected", "Cam A", "Cam B"}));
        QCOMPARE(inspect.ui()->comboBox->currentIndex(), 0);

        inspect.activate(2);
        inspect.discoveryPass();
        QCOMPARE(comboTexts(*window),
                 QStringList({"No camera selected", "Cam A", "Cam B connected"}));
        QCOMPARE(inspect.ui()->comboBox->currentIndex(), 2);
        QVERIFY(inspect.captureOn());
        QVERIFY(inspect.ui()->pushButton_preview->isVisibleTo(window.get()));
        QVERIFY(!inspect.ui()->bt_shot->isEnabled()); // until the preview runs

        // Choosing the same entry again changes nothing.
        QSignalSpy reboot(window.get(), &Vorn_Cam::signalReboot);
        inspect.activate(2);
        QCOMPARE(reboot.count(), 0);

        // Entry 0 releases the camera.
        QSignalSpy ids(window.get(), &Vorn_Cam::cameraId);
        inspect.activate(0);
        QCOMPARE(reboot.count(), 1);
        QCOMPARE(reboot.at(0).at(0).toBool(), false);
        QCOMPARE(ids.count(), 1);
        QCOMPARE(ids.at(0).at(0).toInt(), -1);
        QVERIFY(!inspect.captureOn());
        QCOMPARE(inspect.ui()->bt_volume->styleSheet(),
                 QString("border-image: url(:/UI/Button/mute.png);"));
        QCOMPARE(inspect.ui()->bt_microphone->styleSheet(),
                 QString("border-image: url(:/UI/Button/mic_mute.png);"));
    }

    void loneCameraOpensAtStartAndOnPlugIn()
    {
        hub.plugCamera(cameraNamed("Solo", "Microphone (Solo)"));
        {
            auto window = makeWindow();
            MainWindowInspector inspect(*window);
            QCOMPARE(inspect.currentIndex(), 1);
            QVERIFY(inspect.captureOn());
            QCOMPARE(inspect.cameraInfo().description(), QString("Solo"));
            QCOMPARE(comboTexts(*window), QStringList({"No camera selected", "Solo connected"}));
            QCOMPARE(inspect.ui()->comboBox->currentIndex(), 1);
            inspect.discoveryPass();
            QCOMPARE(comboTexts(*window), QStringList({"No camera selected", "Solo connected"}));
        }

        hub.reset();
        auto window = makeWindow();
        MainWindowInspector inspect(*window);
        LogCapture log;
        inspect.discoveryPass();
        QCOMPARE(log.count("no device find...."), 1);
        QCOMPARE(comboTexts(*window), QStringList({"No camera selected"}));
        QVERIFY(!inspect.captureOn());

        QSignalSpy ids(window.get(), &Vorn_Cam::cameraId);
        auto camera = hub.plugCamera(cameraNamed("Late", "Microphone (Late)"));
        inspect.discoveryPass();
        QVERIFY(inspect.captureOn());
        QCOMPARE(inspect.currentIndex(), 1);
        QCOMPARE(ids.count(), 1);
        QCOMPARE(ids.at(0).at(0).toInt(), 0);

        // A second camera while one is open: the open one stays chosen.
        hub.plugCamera(cameraNamed("Second", ""));
        inspect.discoveryPass();
        QCOMPARE(inspect.currentIndex(), 1);
        QCOMPARE(inspect.cameraInfo().deviceName(), camera->deviceName());
        QCOMPARE(comboTexts(*window).at(1), QString("Late connected"));
    }

    void unpluggedCameraIsReleasedWithinOnePass()
    {
        auto a = hub.plugCamera(cameraNamed("Cam A", ""));
        hub.plugCamera(cameraNamed("Cam B", ""));
        auto window = makeWindow();
        MainWindowInspector inspect(*window);
        inspect.activate(1);
        QVERIFY(inspect.captureOn());

        QSignalSpy reboot(window.get(), &Vorn_Cam::signalReboot);
        hub.unplug(a->deviceName());
        inspect.discoveryPass();
        QCOMPARE(reboot.count(), 1);
        QCOMPARE(reboot.at(0).at(0).toBool(), false);
        QCOMPARE(inspect.currentIndex(), 0);
        QVERIFY(!inspect.captureOn());
        // Still one camera: not opened by itself, since the count went from
        // two to one while a camera was open.
        inspect.discoveryPass();
        QVERIFY(!inspect.captureOn());
    }

    void swappedCameraInTheSameSecondIsReleased()
    {
        auto a = hub.plugCamera(cameraNamed("Cam A", ""));
        auto window = makeWindow();
        MainWindowInspector inspect(*window);
        inspect.discoveryPass();
        QVERIFY(inspect.captureOn());

        hub.unplug(a->deviceName());
        hub.plugCamera(cameraNamed("Cam B", ""));
        QSignalSpy reboot(window.get(), &Vorn_Cam::signalReboot);
        inspect.discoveryPass();
        QCOMPARE(reboot.count(), 1);
        QCOMPARE(inspect.currentIndex(), 0);
        QCOMPARE(comboTexts(*window), QStringList({"No camera selected", "Cam B"}));
    }

    void openCameraIsFollowedWhenAnEarlierOneGoes()
    {
        auto a = hub.plugCamera(cameraNamed("Cam A", "Microphone (Cam A)"));
        auto b = hub.plugCamera(cameraNamed("Cam B", "Microphone (Cam B)"));
        hub.plugCamera(cameraNamed("Cam C", "Microphone (Cam C)"));
        auto window = makeWindow();
        MainWindowInspector inspect(*window);
        inspect.activate(2);
        QCOMPARE(inspect.cameraInfo().deviceName(), b->deviceName());

        QSignalSpy reboot(window.get(), &Vorn_Cam::signalReboot);
        hub.unplug(a->deviceName());
        inspect.discoveryPass();
        QCOMPARE(reboot.count(), 0);
        QCOMPARE(inspect.currentIndex(), 1);
        QCOMPARE(comboTexts(*window),
                 QStringList({"No camera selected", "Cam B connected", "Cam C"}));
        QCOMPARE(inspect.cameraTable().value(inspect.currentIndex()).microphone.deviceName(),
                 QString("Microphone (Cam B)"));
    }

    void pagesAskToLetGoOfTheCamera()
    {
        hub.plugCamera(cameraNamed("Solo", ""));
        auto window = makeWindow();
        MainWindowInspector inspect(*window);
        QVERIFY(inspect.captureOn());
        QSignalSpy ids(window.get(), &Vorn_Cam::cameraId);
        QSignalSpy reboot(window.get(), &Vorn_Cam::signalReboot);

        emit inspect.settingAudio()->audioReboot();
        QCOMPARE(reboot.count(), 1);
        QVERIFY(!inspect.captureOn());
        QCOMPARE(inspect.currentIndex(), 0);
        QCOMPARE(ids.count(), 0); // closing sends no camera id
        QVERIFY(!inspect.ui()->pushButton_preview->isVisibleTo(window.get()));
        // The combo box names no camera, also after the next pass rebuilt it,
        // and the closed camera is not opened again behind the user's back.
        QCOMPARE(inspect.ui()->comboBox->currentIndex(), 0);
        inspect.discoveryPass();
        QCOMPARE(inspect.ui()->comboBox->currentIndex(), 0);
        QCOMPARE(inspect.ui()->comboBox->currentText(), QStringLiteral("No camera selected"));
        QVERIFY(!inspect.captureOn());

        inspect.activate(1);
        QVERIFY(inspect.captureOn());
        emit Vorn_settingUpgrade::getInstance()->disConnectDevice();
        QVERIFY(!inspect.captureOn());
        QVERIFY(!inspect.ui()->bt_record->isEnabled());
    }

    void windowFrame()
    {
        auto window = makeWindow();
        MainWindowInspector inspect(*window);
        QCOMPARE(window->windowTitle(), QString("Lumora_V1.0.0.1"));
        QCOMPARE(window->size(), QSize(1159, 714));
        QCOMPARE(window->minimumSize(), window->maximumSize());
        QVERIFY(!(window->windowFlags() & Qt::WindowMaximizeButtonHint));
        QCOMPARE(inspect.ui()->settingWidget->count(), 4);
        QCOMPARE(inspect.ui()->settingWidget->widget(0), inspect.settingVideo());
        QCOMPARE(inspect.ui()->settingWidget->widget(3), Vorn_settingUpgrade::getInstance());
        inspect.ui()->bt_AI->click();
        QCOMPARE(inspect.ui()->settingWidget->currentIndex(), 2);
        QVERIFY(inspect.ui()->bt_video->isCheckable());
        QVERIFY(!inspect.ui()->label_check_for_new_firmware->isVisibleTo(window.get()));
        QVERIFY(!inspect.ui()->pushButton_register->isVisibleTo(window.get()));
        QCOMPARE(inspect.ui()->label_recordTime->text(), QString());
    }
};

QTEST_MAIN(tst_Discovery)
#include "tst_discovery.moc"
