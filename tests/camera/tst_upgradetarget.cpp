#include "mainwindowinspector.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "upgradebridge.h"
#include "upgraderelay.h"
#include "upgradetesthelpers.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include <functional>

namespace {

SimulatedCameraConfig cameraNamed(const QString& description)
{
    SimulatedCameraConfig config;
    config.description = description;
    config.microphoneName = QStringLiteral("Microphone (%1)").arg(description);
    return config;
}

// Answers like ScriptedResponder, and lets the test act while the user is
// still choosing the firmware file.
class SwappingResponder : public ScriptedResponder
{
public:
    DialogSeam::Answer answer(const DialogSeam::Request& request) override
    {
        if (request.kind == DialogSeam::Kind::OpenFile && whileChoosing) {
            whileChoosing();
        }
        return ScriptedResponder::answer(request);
    }
    std::function<void()> whileChoosing;
};

} // namespace

// Firmware goes to the camera the window shows, however the positions of
// the cameras shift under it.
class tst_UpgradeTarget : public QObject
{
    Q_OBJECT

private:
    SimulatedHub& hub = SimulatedHub::instance();
    SimulatedDeviceCatalog catalog;
    ScriptedLibrary scripted;
    QTemporaryDir files;

private slots:
    void initTestCase()
    {
        DeviceCatalog::setInstance(&catalog);
        QVERIFY(scripted.ok());
    }
    void cleanupTestCase() { DeviceCatalog::setInstance(nullptr); }
    void init()
    {
        hub.reset();
        scripted.reset();
        setUpgradeLibraryFolder(QString());
    }
    void cleanup()
    {
        QVERIFY(QThreadPool::globalInstance()->waitForDone(20000));
        setUpgradeLibraryFolder(QString());
    }

    void upgradePageFollowsTheOpenCamera()
    {
        auto a = hub.plugCamera(cameraNamed("Cam A"));
        hub.plugCamera(cameraNamed("Cam B"));
        hub.plugCamera(cameraNamed("Cam C"));
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        inspect.activate(2);
        Vorn_settingUpgradeInspector page(Vorn_settingUpgrade::getInstance());
        QCOMPARE(page.cameraId(), 1);

        QSignalSpy ids(&window, &Vorn_Cam::cameraId);
        hub.unplug(a->deviceName());
        inspect.discoveryPass();
        QCOMPARE(inspect.currentIndex(), 1);
        QCOMPARE(ids.size(), 1);
        QCOMPARE(ids.last().at(0).toInt(), 0);
        QCOMPARE(page.cameraId(), 0);

        // The real library, asked through the page, names the open camera.
        page.clickInfo();
        QVERIFY2(page.text().contains(QLatin1String("Device name: Cam B")),
                 qPrintable(page.text()));
        QVERIFY(!page.text().contains(QLatin1String("Cam C")));
    }

    void cameraSwappedBeforeTheStartGetsNothing()
    {
        hub.plugCamera(cameraNamed("Cam A"));
        auto b = hub.plugCamera(cameraNamed("Cam B"));
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        inspect.activate(2);
        setUpgradeLibraryFolder(binFolder("scripted"));
        scripted.addText("upgrade exit");

        SwappingResponder responder;
        responder.fileName = files.filePath(QStringLiteral("fw.img"));
        // The user unplugs B and plugs in D while the file dialog is open:
        // position 1 now names D.
        responder.whileChoosing = [&] {
            hub.unplug(b->deviceName());
            hub.plugCamera(cameraNamed("Cam D"));
        };
        Vorn_settingUpgradeInspector page(Vorn_settingUpgrade::getInstance());
        QSignalSpy disconnects(page.p, &Vorn_settingUpgrade::disConnectDevice);
        page.clickUpgrade();

        QCOMPARE(scripted.callCount(), 0);
        QCOMPARE(disconnects.size(), 0);
        QVERIFY(!page.upgrading());
        const QString notice = responder.requests.last().text;
        QVERIFY2(notice.contains(QLatin1String("Cam D")) &&
                     notice.contains(QLatin1String("Cam B")) &&
                     notice.contains(QLatin1String("nothing was written")),
                 qPrintable(notice));
        QVERIFY(inspect.captureOn());

        // The task checks again at its start: a swap after the click is
        // caught there, and the library is never called.
        QSignalSpy ended(&UpgradeRelay::instance(), &UpgradeRelay::taskEnded);
        checkedUpgradeTask(responder.fileName, 1, VideoInputInfo("Cam B", b->deviceName(), true));
        QCOMPARE(ended.size(), 1);
        QVERIFY(ended.last().at(0).toString().contains(QLatin1String("nothing was written")));
        QCOMPARE(scripted.callCount(), 0);
    }
};

QTEST_MAIN(tst_UpgradeTarget)
#include "tst_upgradetarget.moc"
