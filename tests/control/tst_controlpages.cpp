// The video and audio pages against simulated cameras, alone and inside the
// real main window: the tests assert on the requests the camera received.

#include "callkeys.h"
#include "cameracontrols.h"
#include "cameramover.h"
#include "cameraprofilestore.h"
#include "controlchannel.h"
#include "controltesthelpers.h"
#include "fontfallbacks.h"
#include "framingengine.h"
#include "loginautostart.h"
#include "lumoratray.h"
#include "mainwindowinspector.h"
#include "pagecontrols.h"
#include "picturedifference.h"
#include "ptzcontrols.h"
#include "scripteddialogs.h"
#include "simulateddevicecatalog.h"
#include "systemvolume.h"
#include "vorn_cameraproperty.h"
#include "vorn_settingaudio.h"
#include "vorn_settingvideo.h"

#include <QCheckBox>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSemaphore>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>

// Until the control workers (the pages' and each window's) have done all
// they were asked and their answers are shown.
#define SETTLE() QTRY_VERIFY_WITH_TIMEOUT(allControlsIdle(), 30000)

namespace {

// The page on its own, bound to one camera as the main window binds it.
struct VideoPage : Vorn_SettingVideo
{
    explicit VideoPage(const std::shared_ptr<SimulatedCamera>& camera)
        : Vorn_SettingVideo(pageControls())
    {
        const VideoInputInfo info(camera->config().description, camera->deviceName(), true);
        connectControls(info);
        setCameraInfo(info);
        captureState(true);
        openDevice();
        show();
    }
    QSlider* slider(const char* name) const { return findChild<QSlider*>(name); }
    void click(const char* name) { QTest::mouseClick(findChild<QWidget*>(name), Qt::LeftButton); }
    void press(const char* name, bool andRelease = true)
    {
        QTest::mousePress(findChild<QWidget*>(name), Qt::LeftButton);
        if (andRelease) {
            QTest::mouseRelease(findChild<QWidget*>(name), Qt::LeftButton);
        }
    }
};

// What a reading of a camera in automatic exposure asks: it writes nothing.
const QStringList kReading = {"GET 9",    "PA GetRange 1", "GET 25", "GET 24", "GET 10",
                              "PA Get 1", "GET 15",        "GET 14", "GET 13"};
// After a reading, opening gives auto framing the head's axes (where it can
// find faces at all), read by the same worker: no instance of its own binds.
const QStringList kFramingAxes =
    FramingEngine::available() ? QStringList{"CC GetRange 0", "CC GetRange 1", "CC GetRange 3"}
                               : QStringList();

// The window's picture once the camera has come to rest: a frame rendered
// after the last move.
QImage settledFrame(MainWindowInspector& inspect)
{
    for (int frames = 0; frames < 3; ++frames) {
        const QImage before = inspect.lastFrame();
        if (!QTest::qWaitFor([&] { return inspect.lastFrame() != before; }, 30000)) {
            return QImage();
        }
    }
    return inspect.lastFrame().copy();
}

#ifndef Q_OS_WIN
// The shown labels and buttons of a window whose text does not fit them:
// cut off on the right, or wrapped past the bottom. Text drawn transparent
// (switches drawn by pictures) is no text.
QStringList clippedTexts(const QWidget& window)
{
    QStringList clipped;
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        const auto* label = qobject_cast<QLabel*>(widget);
        const auto* button = qobject_cast<QAbstractButton*>(widget);
        const QString text = label ? label->text() : button ? button->text() : QString();
        if (text.isEmpty() || !widget->isVisibleTo(&window) ||
            widget->palette().color(widget->foregroundRole()).alpha() == 0) {
            continue;
        }
        int widest = 0;
        for (const QString& line : text.split('\n')) {
            widest = std::max(widest, widget->fontMetrics().horizontalAdvance(line));
        }
        const bool fits =
            label && label->wordWrap() ? label->heightForWidth(label->width()) <= label->height()
            : qobject_cast<const QCheckBox*>(widget) ? widget->sizeHint().width() <= widget->width()
                                                     : widest <= widget->contentsRect().width();
        if (!fits) {
            clipped << widget->objectName() + ": " + text;
        }
    }
    return clipped;
}
#endif

} // namespace

class tst_ControlPages : public QObject
{
    Q_OBJECT

private:
    ControlFixture fixture;
    SimulatedDeviceCatalog catalog;

private slots:
    void initTestCase()
    {
        DeviceCatalog::setInstance(&catalog);
        installFontFallbacks();
    }
    void cleanupTestCase() { DeviceCatalog::setInstance(nullptr); }
    void init()
    {
        fixture.reset();
        QSettings(QStringLiteral("Lumora"), QStringLiteral("Lumora")).clear();
    }

    void readingShowsTheCameraAndWritesNothing()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        camera->modifyState([](SimulatedCameraState& s) {
            s.horizontalFlip = true;
            s.autoExposure = false;
            s.exposure = -3;
            s.redShift = 4;
            s.imageStyle = 5;
        });
        camera->modifyControlConfig([](SimulatedControlConfig& c) { c.contrastMaximum = 511; });
        // Contrast set as lumora-ctl sets it, past 255 in this camera's range.
        Vorn_CameraProperty own(MainUnitSet);
        own.open(camera->deviceName());
        CameraControls controls(own, own, VideoInputInfo());
        const ControlDescriptor& contrast = *ControlCatalogue::find("contrast");
        QString problem;
        QVERIFY(controls.write(contrast, controls.parse(contrast, "300", &problem), &problem));
        camera->clearRequests();
        VideoPage page(camera);
        SETTLE();
        QCOMPARE(requests(camera),
                 QStringList({"PA Get 7", "PA Get 7", // both instances bind
                              "GET 9", "PA GetRange 1", "GET 25", "GET 24", "GET 10", "GET 11",
                              "PA Get 1", "GET 15", "GET 14", "GET 13"}) +
                     kFramingAxes);
        QVERIFY(page.findChild<QPushButton*>("pushButton_FlipH")->isChecked());
        QCOMPARE(page.slider("horizontalSlider")->value(), -3);
        QCOMPARE(page.slider("horizontalSlider_RG")->value(), 4);
        QVERIFY(page.findChild<QCheckBox*>("checkBox_Live")->isChecked());
        QVERIFY(!page.findChild<QCheckBox*>("checkBox_Live")->isEnabled());
        // Automatic exposure keeps a value of its own, which the page does not show.
        camera->modifyState([](SimulatedCameraState& s) { s.autoExposure = true; });
        page.openDevice();
        SETTLE();
        QCOMPARE(requests(camera), QStringList({"PA Get 7", "PA Get 7"}) + kReading + kFramingAxes);
        QCOMPARE(page.slider("horizontalSlider")->value(), 0);
        QCOMPARE(page.findChild<QLabel*>("label_SliderValue")->text(), QString("Auto"));
        // The slider, its label and lumora-ctl get show what the camera holds.
        QCOMPARE(controls.read(contrast), QJsonValue(300));
        QCOMPARE(page.slider("horizontalSlider_DRC")->value(), 300);
        QCOMPARE(page.findChild<QLabel*>("label_SliderValue_DRC")->text(), QString("300"));
    }

    void controlsSendTheirRequests()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        VideoPage page(camera);
        Vorn_CameraProperty own(MainUnitSet);
        own.open(camera->deviceName());
        long pan = 0, tilt = 0, fastest = 0;
        own.cameraControl->GetRange(10, nullptr, &fastest, nullptr, &pan, nullptr);
        own.cameraControl->GetRange(11, nullptr, nullptr, nullptr, &tilt, nullptr);
        SETTLE();
        camera->clearRequests();
        drag(page.slider("horizontalSlider"), -3);
        drag(page.slider("horizontalSlider"), 0); // 0: automatic
        drag(page.slider("horizontalSlider_DRC"), 73);
        page.slider("horizontalSlider")->setValue(2); // the program's own change: not sent
        // With automatic white balance a shift below 0 is not sent.
        drag(page.slider("horizontalSlider_BG"), -4);
        drag(page.slider("horizontalSlider_BG"), 3);
        SETTLE();
        QCOMPARE(requests(camera),
                 QStringList({"SET 10 00", "SET 11 FD", "SET 10 01", "PA Set 1 73 2", "PA Get 7",
                              "PA Get 7", "SET 14 03"}));
        camera->modifyState([](SimulatedCameraState& s) { s.autoWhiteBalance = false; });
        drag(page.slider("horizontalSlider_RG"), -6);
        SETTLE();
        QCOMPARE(requests(camera), QStringList({"PA Get 7", "SET 15 FA"}));
        QCOMPARE(camera->state().redShift, -6);

        for (const char* name : {"pushButton_FlipV", "pushButton_FlipH", "checkBox_Live",
                                 "checkBox_Live", "checkBox_Meeting"}) {
            page.click(name); // the chosen style cannot be clicked off
        }
        for (const char* name : {"pushButton_left", "pushButton_up", "pushButton_zoomin",
                                 "pushButton_zoomout", "pushButton_home"}) {
            page.press(name);
        }
        SETTLE();
        QCOMPARE(requests(camera),
                 QStringList({"SET 24 01", "SET 25 01", "SET 13 05", "SET 13 06", "CC GetRange 10",
                              QStringLiteral("CC Set 10 %1 2").arg(-pan), "CC Set 10 0 2",
                              "CC GetRange 11", QStringLiteral("CC Set 11 %1 2").arg(tilt),
                              "CC Set 11 0 2", "ZOOM SET 12 01 00 06", "ZOOM SET 12 00 00 00",
                              "ZOOM SET 12 FF 00 06", "ZOOM SET 12 00 00 00", "CC Set 0 0 2",
                              "CC Set 1 0 2", "CC Set 3 0 2"}));
        // The speed setting: half the camera's default speed, the default, its fastest.
        requests(camera);
        using Speed = CameraMover::Speed;
        for (const auto& [speed, value] :
             {std::pair(Speed::Slow, pan / 2), {Speed::Normal, pan}, {Speed::Fast, fastest}}) {
            CameraMover::setSpeed(speed);
            page.press("pushButton_left");
            SETTLE();
            QCOMPARE(requests(camera).at(1), QStringLiteral("CC Set 10 %1 2").arg(-value));
        }
        failRequests(camera, {}, {"CC GetRange 10"});
        page.press("pushButton_left", false);
        SETTLE();
        QCOMPARE(requests(camera), QStringList({"CC GetRange 10"})); // no speed, no motion
    }

    // While the camera is busy with one request the window's event loop goes
    // on; what the user does meanwhile follows in order (a drag by its
    // latest place only). Closing a worker does all that was queued, and an
    // answer whose asker has gone is dropped.
    void aBusyCameraKeepsTheWindowGoingAndTheOrder()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        VideoPage page(camera);
        SETTLE();
        requests(camera);
        QSemaphore busy;
        QAtomicInt inFlight = 0;
        pageControls().post([&](ControlWorker&) {
            inFlight = 1;
            busy.acquire();
        });
        bool loopTurned = false;
        QTimer::singleShot(0, this, [&] { loopTurned = true; });
        page.press("pushButton_left");
        QSlider* exposure = page.slider("horizontalSlider");
        exposure->setSliderDown(true);
        for (int position : {1, 2, 3}) {
            exposure->setSliderPosition(position);
        }
        exposure->setSliderDown(false);
        page.press("pushButton_right");
        QTRY_VERIFY(loopTurned && inFlight == 1);
        QVERIFY(camera->requests().isEmpty());
        busy.release();
        SETTLE();
        const QStringList sent = requests(camera).filter("set", Qt::CaseInsensitive);
        QCOMPARE(sent.size(), 6); // left, its stop, the drag's last place, right, its stop
        QVERIFY(sent[0].startsWith("CC Set 10 -") && sent[1] == "CC Set 10 0 2");
        QCOMPARE(sent.mid(2, 2), QStringList({"SET 10 00", "SET 11 03"}));
        QVERIFY(!sent[4].contains('-') && sent[4] != sent[1] && sent[5] == sent[1]);

        Vorn_CameraProperty main(MainUnitSet), zoom(ZoomUnitSet);
        auto channel = std::make_unique<ControlChannel>(main, zoom);
        const QString name = camera->deviceName();
        channel->post([name](ControlWorker& worker) { worker.main().open(name); });
        channel->post([&](ControlWorker&) { busy.acquire(); });
        for (int direction : {1, 0, -1, 0}) {
            channel->post([direction](ControlWorker& worker) {
                direction ? (void)worker.mover().startRelative(10, direction)
                          : worker.mover().stopRelative(10);
            });
        }
        auto* asker = new QObject;
        bool applied = false;
        channel->ask(
            asker, [](ControlWorker&) { return 0; }, [&](int) { applied = true; });
        delete asker;
        std::thread answer([&] { busy.release(); });
        channel.reset();
        answer.join();
        QCoreApplication::processEvents();
        QVERIFY(!applied);
        const QStringList moves = requests(camera).filter("CC Set");
        QCOMPARE(moves.size(), 4);
        QVERIFY(moves[0] != "CC Set 10 0 2" && moves[1] == "CC Set 10 0 2" && moves[3] == moves[1]);
    }

    void factoryResetAsksFirstAndCaptureOffSendsOnlyTheStyle()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        VideoPage page(camera);
        ScriptedDialogs user;
        user.button = QMessageBox::No;
        SETTLE();
        requests(camera);
        page.click("label_restore_to_factory_settings");
        QCOMPARE(user.messages(), QStringList{"Restore to default settings?"});
        QCOMPARE(requests(camera), QStringList());
        user.button = QMessageBox::Yes;
        page.click("label_restore_to_factory_settings");
        SETTLE();
        QCOMPARE(requests(camera),
                 QStringList({"SET 23 01", "CC Set 0 0 2", "CC Set 1 0 2", "CC Set 3 0 2"}) +
                     kReading);
        // Motion held when the capture goes off is stopped. (One at a time:
        // pressing a second button takes the focus, which releases the first.)
        for (const char* name : {"pushButton_right", "pushButton_zoomin"}) {
            page.captureState(true);
            page.press(name, false);
            page.captureState(false);
            QTest::mouseRelease(page.findChild<QWidget*>(name), Qt::LeftButton);
        }
        SETTLE();
        const QStringList sent = requests(camera);
        QCOMPARE(sent.mid(2),
                 QStringList({"CC Set 10 0 2", "ZOOM SET 12 01 00 06", "ZOOM SET 12 00 00 00"}));
        user.requests.clear();
        for (const char* name : {"pushButton_left", "pushButton_up", "pushButton_home"}) {
            page.press(name);
        }
        drag(page.slider("horizontalSlider"), 3);
        page.click("label_UVCSettings");
        page.click("label_restore_to_factory_settings");
        page.click("checkBox_Live");
        QVERIFY(user.requests.isEmpty());
        SETTLE();
        QCOMPARE(requests(camera), QStringList({"SET 13 05"}));
    }

    void audioSwitchAsksForTheRestart()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        camera->modifyState([](SimulatedCameraState& s) {
            s.audioFunction = false;
            s.audioProcessing = true;
        });
        const QString name = camera->deviceName();
        pageControls().post([name](ControlWorker& worker) { worker.main().open(name); });
        Vorn_settingAudio page(pageControls());
        QSignalSpy reboots(&page, &Vorn_settingAudio::audioReboot);
        page.loadAudioState();
        page.captureState(true);
        auto* audio = page.findChild<QPushButton*>("pushButton_Audio");
        auto* algo = page.findChild<QPushButton*>("pushButton_Audio_Algo");
        SETTLE();
        QVERIFY(!audio->isChecked() && algo->isChecked());
        ScriptedDialogs user;
        user.button = QMessageBox::No;
        requests(camera);
        QTest::mouseClick(audio, Qt::LeftButton);
        QCOMPARE(user.messages(), QStringList{"Reboot to turn on Audio?"});
        QVERIFY(!audio->isChecked());
        // The processing switch is sent at once, without a question.
        QTest::mouseClick(algo, Qt::LeftButton);
        SETTLE();
        QCOMPARE(requests(camera), QStringList({"SET 27 00"}));
        // Yes: the window lets go of the camera before the byte goes out.
        user.button = QMessageBox::Yes;
        bool greyedBeforeWrite = false;
        connect(&page, &Vorn_settingAudio::audioReboot, this, [&] {
            greyedBeforeWrite = camera->requests().isEmpty();
            page.captureState(false);
        });
        QTest::mouseClick(audio, Qt::LeftButton);
        QCOMPARE(reboots.count(), 1);
        QVERIFY(greyedBeforeWrite);
        SETTLE();
        QCOMPARE(requests(camera), QStringList({"SET 26 01"}));
        QVERIFY(camera->state().audioFunction);
        QVERIFY(!audio->isEnabled() && !audio->isChecked());
    }

    void windowFillsThePagesAndFramesSendNoRequests()
    {
        auto camera = fixture.plug("SV-CAM-417 Conference", "SIM:2.4.1");
        camera->modifyState([](SimulatedCameraState& s) { s.verticalFlip = true; });
        Vorn_Cam window; // a lone camera is opened at once
        window.show();
        MainWindowInspector inspect(window);
        QVERIFY(inspect.captureOn());
        SETTLE();
#ifndef Q_OS_WIN
        // With the program's own fallbacks, whatever fonts this machine has.
        // (Qt's offscreen platform on Windows brings no fonts to measure.)
        QTRY_VERIFY2(clippedTexts(window).isEmpty(), qPrintable(clippedTexts(window).join(", ")));
#endif
        QCOMPARE(inspect.ui()->label_version->text(), QString("FW: 2.4.1"));
        QVERIFY(inspect.settingVideo()->findChild<QPushButton*>("pushButton_FlipV")->isChecked());
        auto* audio = inspect.settingAudio()->findChild<QPushButton*>("pushButton_Audio");
        QVERIFY(audio->isEnabled());
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(!inspect.lastFrame().isNull(), 30000);
        // The speaker pop-up shows the system's volume or says why there is
        // none to show (no sound server, wine's partial Core Audio).
        QString unreadable;
        float volume = 0.0f;
        SystemVolume().getSpeakerVolume(volume, &unreadable);
        QTest::mouseClick(inspect.ui()->bt_volume, Qt::LeftButton);
        QCOMPARE(inspect.volumeSlider()->isEnabled(), unreadable.isEmpty());
        QCOMPARE(inspect.volumeSlider()->toolTip(), unreadable);
        // A TIF snapshot (Qt's tiff plugin) holds exactly the picture shown.
        QTemporaryDir folder;
        ScriptedDialogs user;
        user.fileName = folder.filePath(QStringLiteral("shot.tif"));
        const QImage shown = inspect.lastFrame().copy();
        inspect.ui()->bt_shot->click();
        QImageReader reader(user.fileName);
        QCOMPARE(reader.format(), QByteArray("tiff"));
        QCOMPARE(reader.read().convertToFormat(QImage::Format_RGB888), shown);
        SETTLE();
        camera->clearRequests();
        for (int frames = 0; frames < 15; ++frames) {
            const QImage before = inspect.lastFrame();
            QTRY_VERIFY_WITH_TIMEOUT(inspect.lastFrame() != before, 30000);
        }
        QCOMPARE(camera->requests().size(), 0);
        inspect.activate(0); // releasing the camera greys both pages
        QVERIFY(!inspect.settingVideo()->findChild<QWidget*>("ExposureBox")->isEnabled());
        QVERIFY(!audio->isEnabled());
    }

    // Keys move the camera, Ctrl+Shift+3 and a held button save, a click
    // recalls: the picture is the one saved; a manual move stops a recall.
    void presetRecallsTheSavedView()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        Vorn_Cam window;
        window.show();
        MainWindowInspector inspect(window);
        inspect.ui()->pushButton_preview->setChecked(true);
        QWidget* preview = inspect.ui()->label_cameraview;
        auto* ptz = inspect.settingVideo()->findChild<PtzControls*>();
        auto* mover = inspect.settingVideo()->cameraMover();
        auto* preset3 = inspect.settingVideo()->findChild<QPushButton*>("pushButton_preset3");
        auto* preset5 = inspect.settingVideo()->findChild<QPushButton*>("pushButton_preset5");
        QSignalSpy confirmations(ptz, &PtzControls::confirmation);
        QList<bool> arrived; // the mover's moveFinished, from the worker's thread
        connect(mover, &CameraMover::moveFinished, this, [&](bool done) { arrived << done; });
        QTest::keyPress(preview, Qt::Key_Right);
        QTRY_VERIFY_WITH_TIMEOUT(camera->state().pan >= 20, 30000);
        QTest::keyRelease(preview, Qt::Key_Right);
        QTest::keyPress(preview, Qt::Key_Plus);
        QTRY_VERIFY_WITH_TIMEOUT(camera->state().zoom >= 20, 30000);
        QTest::keyRelease(preview, Qt::Key_Plus);
        SETTLE();
        const QImage saved = settledFrame(inspect);
        QTest::keyClick(preview, Qt::Key_3, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(preview, Qt::Key_Home);
        SETTLE();
        QVERIFY(pictureDifference(settledFrame(inspect), saved) > 10);
        QTest::mousePress(preset5, Qt::LeftButton); // held: saves home
        QTRY_COMPARE_WITH_TIMEOUT(confirmations.count(), 2, 30000);
        QTest::mouseRelease(preset5, Qt::LeftButton);
        QCOMPARE(confirmations.last().at(1).toString(), QString("Preset 5 saved"));
        QVERIFY(preset5->styleSheet() == preset3->styleSheet() &&
                preset3->styleSheet() != inspect.settingVideo()
                                             ->findChild<QPushButton*>("pushButton_preset4")
                                             ->styleSheet());
        QTest::keyClick(preview, Qt::Key_3, Qt::ControlModifier);
        QTest::keyPress(preview, Qt::Key_Left);
        QTRY_COMPARE_WITH_TIMEOUT(arrived, QList<bool>{false}, 30000);
        QTest::keyRelease(preview, Qt::Key_Left);
        QTest::mouseClick(preset3, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(arrived, QList<bool>({false, true}), 30000);
        QVERIFY(pictureDifference(settledFrame(inspect), saved) < 1);
        // Without absolute controls there is nothing to recall.
        failRequests(camera, {}, {"CC GetRange 0"});
        ptz->setCamera(inspect.cameraInfo());
        QTRY_VERIFY(!preset3->isEnabled() && preset3->toolTip().contains("no absolute"));
    }

    // The tray's menu: a camera's saved preset recalls it, one not saved
    // cannot be chosen; the login entry is written and removed.
    void trayRecallsPresetsAndStartsAtLogin()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        QTRY_VERIFY_WITH_TIMEOUT(!inspect.cameraInfo().isNull(), 30000);
        Vorn_CameraProperty own(MainUnitSet);
        QCOMPARE(own.open(inspect.cameraInfo().deviceName()), 0L);
        CameraMover mover(own, own);
        PtzPosition home;
        QVERIFY(mover.position(&home));
        CameraProfileStore::setPreset(CameraProfileStore::keyOf(inspect.cameraInfo()), 4, home);
        QVERIFY(mover.setPosition(CameraControlProperty::Pan, home.pan + 40) >= 0);
        QCOMPARE(camera->state().pan, home.pan + 40);

        QString error; // the Run key outlives a wine prefix's earlier runs
        QVERIFY(LoginAutostart::setEnabled(false, &error));
        LumoraTray tray(&window);
        emit tray.menu()->aboutToShow();
        QStringList entries;
        for (QAction* action : tray.menu()->actions())
            entries << action->text();
        const QString keys = tray.callKeys()->unavailableReason().isEmpty()
                                 ? "Keys during calls"
                                 : "Keys during calls (not in this session)";
        QCOMPARE(entries, QStringList({"Open Lumora", "", "Lumora Simulated Camera", "",
                                       "Keep running when the window closes", "Start when I log in",
                                       keys, "", "Quit"}));
        const QList<QAction*> presets = tray.menu()->actions()[2]->menu()->actions();
        QVERIFY(presets.size() == 9 && !presets[2]->isEnabled() && presets[3]->isEnabled());
        presets[3]->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(camera->state().pan, int(home.pan), 30000);

        QAction* login = tray.menu()->actions()[5];
        const QString program = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
#if defined(Q_OS_WIN)
        QSettings run("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                      QSettings::NativeFormat);
        const auto entry = [&run] {
            run.sync();
            return run.value("Lumora").toString().toUtf8();
        };
#else
        const auto entry = [] {
            QFile file(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                       "/autostart/lumora.desktop");
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
#endif
        login->trigger();
        QVERIFY2(entry().contains("\"" + program.toUtf8() + "\""), entry().constData());
        login->trigger();
        QVERIFY(entry().isEmpty());
    }

    // Unplugged, changed behind the program's back and plugged in at another
    // port: the values come back, only those that differ are written; with
    // the switch off the camera is left alone; a factory reset forgets them.
    void profileFollowsTheCamera()
    {
        SimulatedCameraConfig config;
        config.serial = "SN-42";
        auto camera = SimulatedHub::instance().plugCamera(config);
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        QVERIFY(inspect.captureOn());
        SETTLE(); // the sliders have the camera's ranges
        drag(inspect.settingVideo()->findChild<QSlider*>("horizontalSlider"), -3);
        inspect.settingVideo()->findChild<QPushButton*>("pushButton_FlipH")->click();
        SETTLE();
        const auto replug = [&](const char* port) {
            SimulatedHub::instance().unplug(camera->deviceName());
            QTRY_VERIFY_WITH_TIMEOUT(!inspect.captureOn(), 30000);
            config.usbPort = port;
            camera = SimulatedHub::instance().plugCamera(config);
            camera->modifyState([](SimulatedCameraState& s) { s.imageStyle = 5; });
            QTRY_VERIFY_WITH_TIMEOUT(inspect.captureOn(), 30000);
        };
        replug("3-1");
        SETTLE();
        QVERIFY(!camera->state().autoExposure && camera->state().exposure == -3);
        QVERIFY(inspect.settingVideo()->findChild<QPushButton*>("pushButton_FlipH")->isChecked());
        QCOMPARE(requests(camera).filter("SET"),
                 QStringList({"SET 10 00", "SET 11 FD", "SET 13 06", "SET 25 01"}));
        inspect.settingVideo()->findChild<QCheckBox*>("checkBox_restoreProfile")->click();
        replug("3-2");
        SETTLE();
        QVERIFY(camera->state().autoExposure && camera->state().imageStyle == 5);
        ScriptedDialogs user;
        user.button = QMessageBox::Yes;
        QTest::mouseClick(
            inspect.settingVideo()->findChild<QWidget*>("label_restore_to_factory_settings"),
            Qt::LeftButton);
        SETTLE();
        QVERIFY(
            CameraProfileStore::values(CameraProfileStore::keyOf(inspect.cameraInfo())).isEmpty());
    }
};

QTEST_MAIN(tst_ControlPages)
#include "tst_controlpages.moc"
