// Keys during a call on a real X server (Xvfb) while another program's
// window has the focus; xdotool types as the user's keyboard would.

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

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <X11/keysym.h>

namespace {

QByteArray xdotool(const QStringList& arguments)
{
    QProcess run;
    run.start(QStringLiteral("xdotool"), arguments);
    run.waitForFinished(30000);
    return run.readAllStandardOutput().trimmed();
}

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

} // namespace

class TestCallKeys : public QObject
{
    Q_OBJECT

    ControlFixture fixture;
    SimulatedDeviceCatalog catalog;
    QProcess focusHolder;
    QByteArray m_holder;

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != "xcb" ||
            QStandardPaths::findExecutable("xdotool").isEmpty()) {
            QSKIP("needs an X11 display and xdotool");
        }
        DeviceCatalog::setInstance(&catalog);
        // Another program, whose window has the keyboard's focus.
        focusHolder.start("xmessage", {"-name", "focusholder", "another program"});
        m_holder = xdotool({"search", "--sync", "--classname", "focusholder"});
        QVERIFY2(!m_holder.isEmpty(), "the other program's window did not show");
        xdotool({"windowfocus", "--sync", m_holder});
    }
    void init()
    {
        fixture.reset();
        QSettings(QStringLiteral("Lumora"), QStringLiteral("Lumora")).clear();
    }
    void cleanupTestCase()
    {
        DeviceCatalog::setInstance(nullptr);
        focusHolder.kill();
        focusHolder.waitForFinished();
    }

    // A preset key recalls the preset, with Num Lock off and on; an arrow
    // held pans until released, and the camera then stays where it is.
    void presetAndHeldArrowInAnotherWindow()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        Vorn_Cam window;
        window.show();
        MainWindowInspector inspect(window);
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(inspect.captureOn(), 30000);
        auto* mover = inspect.settingVideo()->cameraMover();
        PtzPosition home;
        QVERIFY(mover->position(&home));
        CameraProfileStore::setPreset(CameraProfileStore::keyOf(inspect.cameraInfo()), 4, home);
        LumoraTray tray(&window);
        QAction* on = keysSwitch(tray);
        QVERIFY(on && on->isEnabled() && !on->isChecked());
        on->trigger();
        QVERIFY(tray.callKeys()->isOn() && tray.callKeys()->refused().isEmpty());
        QCOMPARE(xdotool({"getwindowfocus"}), m_holder);

        for (const char* numLock : {"", "Num_Lock"}) {
            if (*numLock) {
                xdotool({"key", numLock});
            }
            QVERIFY(mover->setPosition(CameraControlProperty::Pan, home.pan + 40) >= 0);
            xdotool({"key", "ctrl+alt+4"});
            QTRY_COMPARE_WITH_TIMEOUT(camera->state().pan, int(home.pan), 30000);
            QTRY_VERIFY(!mover->isMoving());
        }
        xdotool({"key", "Num_Lock"});

        xdotool({"keydown", "ctrl+alt+Right"});
        QTRY_VERIFY_WITH_TIMEOUT(camera->state().pan >= home.pan + 10, 30000);
        camera->clearRequests();
        xdotool({"keyup", "Right"}); // Ctrl and Alt still held
        QStringList seen;            // requests() takes what it shows, and QTRY asks more than once
        QTRY_VERIFY_WITH_TIMEOUT((seen << requests(camera)).join(';').contains("CC Set 10 0 "),
                                 30000);
        xdotool({"keyup", "ctrl+alt"});
        const int stopped = camera->state().pan;
        for (int frames = 0; frames < 10; ++frames) { // time for a head still moving to show it
            const QImage before = inspect.lastFrame();
            QTRY_VERIFY_WITH_TIMEOUT(inspect.lastFrame() != before, 30000);
        }
        QCOMPARE(camera->state().pan, stopped);
        QCOMPARE(CallKeyBindings::load().at(10).keys, QKeySequence("Ctrl+Alt+Right"));
    }

    // A key another program holds is named to the user; the others work.
    void keyHeldElsewhereIsReported()
    {
        xcb_connection_t* other = xcb_connect(nullptr, nullptr);
        xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(other);
        xcb_keycode_t* f = xcb_key_symbols_get_keycode(symbols, XK_f);
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
        QVERIFY(!xcb_request_check(
            other, xcb_grab_key_checked(other, 0, root, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1, *f,
                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
        free(f);
        xcb_key_symbols_free(symbols);

        auto camera = fixture.plug("Lumora Simulated Camera");
        Vorn_Cam window;
        ScriptedDialogs dialogs;
        LumoraTray tray(&window);
        keysSwitch(tray)->trigger();
        QCOMPARE(tray.callKeys()->refused(),
                 QStringList("Ctrl+Alt+F (Auto framing on/off): another program holds it"));
        QVERIFY(dialogs.messages().value(0).endsWith("Ctrl+Alt+F (Auto framing on/off): another "
                                                     "program holds it"));
        QCOMPARE(tray.callKeys()->summary().size(), 15);
        keysSwitch(tray)->trigger(); // off, and kept so for the next start
        QVERIFY(!CallKeyBindings::enabled());
        xcb_disconnect(other);
    }
};

QTEST_MAIN(TestCallKeys)
#include "tst_callkeys.moc"
