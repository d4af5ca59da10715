// Keys during a call in a Wayland session, through the desktop portal's
// global shortcuts: a portal of the suite's own (shortcuts_portal.py) on a
// private session bus binds them and presses them as the desktop would.

#include "callkeys.h"
#include "cameramover.h"
#include "cameraprofilestore.h"
#include "controltesthelpers.h"
#include "lumoratray.h"
#include "mainwindowinspector.h"
#include "scripteddialogs.h"
#include "simulateddevicecatalog.h"
#include "vorn_cameraproperty.h"
#include "vorn_settingvideo.h"

#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {

QAction* keysSwitch(LumoraTray& tray)
{
    emit tray.menu()->aboutToShow();
    for (QAction* action : tray.menu()->actions()) {
        if (action->text().startsWith("Keys during calls")) {
            return action;
        }
    }
    return nullptr;
}

// python3-dbus is the system's: a python3 of its own earlier on PATH may lack it.
QString pythonWithDbus()
{
    for (const QString& python : {QStringLiteral("python3"), QStringLiteral("/usr/bin/python3")}) {
        QProcess probe;
        probe.start(python, {"-c", "import dbus, dbus.mainloop.glib, gi.repository.GLib"});
        if (probe.waitForFinished(30000) && probe.exitStatus() == QProcess::NormalExit &&
            probe.exitCode() == 0) {
            return python;
        }
    }
    return QString();
}

} // namespace

class TestPortalKeys : public QObject
{
    Q_OBJECT

    ControlFixture fixture;
    SimulatedDeviceCatalog catalog;
    QProcess bus;
    QProcess portal;
    QString python;
    QStringList said; // the portal's lines so far

    bool portalSays(const QString& line)
    {
        QElapsedTimer clock;
        clock.start();
        while (!said.contains(line) && clock.elapsed() < 30000 &&
               portal.state() == QProcess::Running) {
            QCoreApplication::processEvents();
            portal.waitForReadyRead(50);
            while (portal.canReadLine()) {
                said << QString::fromUtf8(portal.readLine()).trimmed();
            }
        }
        return said.contains(line);
    }

private slots:
    void initTestCase()
    {
        python = pythonWithDbus();
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty() || python.isEmpty()) {
            QSKIP("needs dbus-daemon and python3-dbus with python3-gi");
        }
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        QVERIFY(bus.waitForReadyRead(30000));
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());
        qputenv("WAYLAND_DISPLAY", "wayland-lumora-test");
        DeviceCatalog::setInstance(&catalog);
    }
    void init()
    {
        fixture.reset();
        QSettings(QStringLiteral("Lumora"), QStringLiteral("Lumora")).clear();
    }
    void cleanupTestCase()
    {
        DeviceCatalog::setInstance(nullptr);
        bus.kill();
        bus.waitForFinished();
    }

    void noPortalOnTheBusIsTheReason()
    {
        Vorn_Cam window;
        LumoraTray tray(&window);
        QAction* keys = keysSwitch(tray);
        QCOMPARE(keys->text(), QString("Keys during calls (not in this session)"));
        QVERIFY(!keys->isEnabled());
        QVERIFY2(keys->toolTip().endsWith("the desktop offers no global shortcuts portal"),
                 qPrintable(keys->toolTip()));
    }

    // The bindings reach the portal by name with their keys; the one it
    // will not bind is named to the user; a preset's shortcut recalls the
    // preset and an arrow's pans until the desktop tells of its release.
    void portalBindsRecallsAndPans()
    {
        portal.start(python, {SHORTCUTS_PORTAL, "--refuse", "framing"});
        QVERIFY(portal.waitForStarted(30000) && portalSays("ready"));
        auto camera = fixture.plug("Lumora Simulated Camera");
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(inspect.captureOn(), 30000);
        auto* mover = inspect.settingVideo()->cameraMover();
        PtzPosition home;
        QVERIFY(mover->position(&home));
        CameraProfileStore::setPreset(CameraProfileStore::keyOf(inspect.cameraInfo()), 3, home);
        ScriptedDialogs dialogs;
        LumoraTray tray(&window);
        QAction* on = keysSwitch(tray);
        QVERIFY(on && on->isEnabled());
        on->trigger();
        QVERIFY(portalSays("bound"));
        QVERIFY(said.contains("register org.lumora.Lumora"));
        QCOMPARE(said.filter(QRegularExpression("^bind ")).size(), 16);
        for (const char* line :
             {"bind preset3 CTRL+ALT+3 Preset 3", "bind panRight CTRL+ALT+Right Pan right",
              "bind zoomIn CTRL+ALT+Page_Up Zoom in"}) {
            QVERIFY2(said.contains(line), line);
        }
        QTRY_COMPARE_WITH_TIMEOUT(tray.callKeys()->refused(),
                                  QStringList("Ctrl+Alt+F (Auto framing on/off): the desktop "
                                              "did not bind it"),
                                  30000);
        QVERIFY(dialogs.messages().value(0).endsWith("the desktop did not bind it"));
        QCOMPARE(tray.callKeys()->summary().size(), 15);
        QVERIFY(tray.callKeys()->summary().contains("Ctrl+Alt+3 (desktop)  Preset 3"));

        QVERIFY(mover->setPosition(CameraControlProperty::Pan, home.pan + 40) >= 0);
        portal.write("activate preset3\ndeactivate preset3\n");
        QTRY_COMPARE_WITH_TIMEOUT(camera->state().pan, int(home.pan), 30000);
        QTRY_VERIFY(!mover->isMoving());

        portal.write("activate panRight\n");
        QTRY_VERIFY_WITH_TIMEOUT(camera->state().pan >= home.pan + 10, 30000);
        camera->clearRequests();
        portal.write("deactivate panRight\n");
        QStringList seen; // requests() takes what it shows, and QTRY asks more than once
        QTRY_VERIFY_WITH_TIMEOUT((seen << requests(camera)).join(';').contains("CC Set 10 0 "),
                                 30000);
        keysSwitch(tray)->trigger(); // off: the session is closed
        QVERIFY(portalSays("closed"));
        portal.closeWriteChannel();
        QVERIFY(portal.waitForFinished(30000));
    }
};

QTEST_MAIN(TestPortalKeys)
#include "tst_portalkeys.moc"
