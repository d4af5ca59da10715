#include "mainwindowinspector.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "upgradetesthelpers.h"
#include "vorn_ffmpeglib.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

// A whole upgrade in the main window with the project's upgrade library
// and a simulated camera that restarts after its flash write.
class TestUpgradeFlow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qputenv("LUMORA_UPGRADE_STEP_MS", "20");
        DeviceCatalog::setInstance(&catalog);
    }
    void cleanupTestCase() { DeviceCatalog::setInstance(nullptr); }
    void init() { hub.reset(); }
    void cleanup()
    {
        // An upgrade that a failed check left running must not reach the
        // next test's page.
        QThreadPool::globalInstance()->waitForDone(60000);
        QCoreApplication::processEvents();
    }

    void upgradeInTheWindow();
    void informationInTheWindow();

private:
    SimulatedHub& hub = SimulatedHub::instance();
    SimulatedDeviceCatalog catalog;
    QTemporaryDir dir;
};

void TestUpgradeFlow::upgradeInTheWindow()
{
    const QString before = hub.plugCamera()->deviceName();
    QFile file(dir.filePath(QStringLiteral("camera firmware.pkg")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(64 * 1024, '\x11'));
    file.close();

    Vorn_Cam window;
    window.show();
    MainWindowInspector cam(window);
    Vorn_settingUpgradeInspector page(Vorn_settingUpgrade::getInstance());
    QCOMPARE(cam.ui()->settingWidget->widget(3), page.p);
    QVERIFY(cam.captureOn());
    QCOMPARE(page.cameraId(), 0);
    QVERIFY(page.ui()->pushButton_upgrade->isEnabled());
    cam.ui()->pushButton_preview->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(cam.captureLib()->CaptureIsOpen(), 10000);

    ScriptedResponder responder;
    responder.fileName = file.fileName();
    page.clickUpgrade();

    // The capture is released and the page is inert while the camera is away.
    QVERIFY(!cam.captureLib()->CaptureIsOpen());
    QVERIFY(!cam.captureOn());
    QCOMPARE(cam.currentIndex(), 0);
    QVERIFY(!page.ui()->pushButton_upgrade->isEnabled());
    QVERIFY(!page.ui()->pushButton_info->isEnabled());
    QVERIFY(page.dialog()->isVisible());
    QVERIFY(page.upgrading());

    QTRY_VERIFY_WITH_TIMEOUT(page.status() == QLatin1String("send file...") && page.bar() > 0,
                             20000);
    QTRY_VERIFY_WITH_TIMEOUT(page.status() == QLatin1String("upgrade..."), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(page.status(),
                              QStringLiteral("<font color=green>Upgrade complete!</font>"), 30000);
    QCOMPARE(page.bar(), 100);
    QVERIFY(page.text().contains(QLatin1String("Device rebooting...")));
    QVERIFY(page.dialog()->isVisible());
    QVERIFY(QThreadPool::globalInstance()->waitForDone(20000));

    // The camera came back as a new device; the lone camera is opened again
    // by discovery, and only then is the page usable again.
    QCOMPARE(hub.cameras().size(), 1);
    QVERIFY(hub.cameras().first()->deviceName() != before);
    QTRY_VERIFY_WITH_TIMEOUT(cam.captureOn(), 10000);
    QVERIFY(page.ui()->pushButton_upgrade->isEnabled());
    QCOMPARE(page.cameraId(), 0);
    QCOMPARE(responder.requests.size(), 2);
}

void TestUpgradeFlow::informationInTheWindow()
{
    hub.plugCamera();
    Vorn_Cam window;
    MainWindowInspector cam(window);
    Vorn_settingUpgradeInspector page(Vorn_settingUpgrade::getInstance());
    QVERIFY(cam.captureOn());
    page.clickInfo();
    QCOMPARE(page.text(), QStringLiteral("Device name: Lumora Simulated Camera\n"
                                         "Device path: %1\n"
                                         "Firmware version: SIM:1.0.0\n"
                                         "Hardware: simulated PTZ camera 1280x720@30")
                              .arg(hub.cameras().first()->deviceName()));
    QVERIFY(!page.upgrading());
}

QTEST_MAIN(TestUpgradeFlow)
#include "tst_upgradeflow.moc"
