#include "mainwindowinspector.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "upgradebridge.h"
#include "upgraderelay.h"
#include "upgradetesthelpers.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

std::shared_ptr<SimulatedCamera> plug(const char* description)
{
    SimulatedCameraConfig config;
    config.description = QString::fromLatin1(description);
    return SimulatedHub::instance().plugCamera(config);
}

// Answers like ScriptedResponder; the user swaps cameras while the file
// dialog is open.
struct SwappingResponder : ScriptedResponder
{
    DialogSeam::Answer answer(const DialogSeam::Request& request) override
    {
        if (request.kind == DialogSeam::Kind::OpenFile) {
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

    SimulatedHub& hub = SimulatedHub::instance();
    SimulatedDeviceCatalog catalog;
    ScriptedLibrary scripted;
    QTemporaryDir files;

private slots:
    void initTestCase() { DeviceCatalog::setInstance(&catalog); }
    void cleanupTestCase() { DeviceCatalog::setInstance(nullptr); }
    void init() { hub.reset(); }

    void upgradePageFollowsTheOpenCamera()
    {
        auto a = plug("Cam A");
        plug("Cam B");
        plug("Cam C");
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
        page.clickInfo(); // through the real library
        QVERIFY2(page.text().contains("Device name: Cam B"), qPrintable(page.text()));
    }

    void cameraSwappedBeforeTheStartGetsNothing()
    {
        plug("Cam A");
        auto b = plug("Cam B");
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        inspect.activate(2);
        QVERIFY(scripted.ok());
        setUpgradeLibraryFolder(binFolder("scripted"));
        SwappingResponder responder;
        responder.fileName = files.filePath(QStringLiteral("fw.img"));
        // B goes and D comes while the file dialog is open: position 1 is D.
        responder.whileChoosing = [&] {
            hub.unplug(b->deviceName());
            plug("Cam D");
        };
        Vorn_settingUpgradeInspector page(Vorn_settingUpgrade::getInstance());
        QSignalSpy disconnects(page.p, &Vorn_settingUpgrade::disConnectDevice);
        page.clickUpgrade();
        QCOMPARE(scripted.callCount(), 0);
        QCOMPARE(disconnects.size(), 0);
        const QString notice = responder.requests.last().text;
        QVERIFY2(notice.contains("\"Cam D\"") && notice.contains("nothing was written"),
                 qPrintable(notice));

        // The task checks again just before it calls the library.
        QSignalSpy ended(&UpgradeRelay::instance(), &UpgradeRelay::taskEnded);
        checkedUpgradeTask(responder.fileName, 1, VideoInputInfo("Cam B", b->deviceName(), true));
        QCOMPARE(ended.size(), 1);
        QVERIFY(ended.last().at(0).toString().contains("nothing was written"));
        QCOMPARE(scripted.callCount(), 0);
        setUpgradeLibraryFolder(QString());
    }
};

QTEST_MAIN(tst_UpgradeTarget)
#include "tst_upgradetarget.moc"
