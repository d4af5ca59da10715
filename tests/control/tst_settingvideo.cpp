#include "controltesthelpers.h"
#include "vorn_settingvideo.h"

#include "logcapture.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// The page on its own, bound to one simulated camera as the main window
// binds it: camera info, capture state true, then openDevice.
struct VideoPage
{
    explicit VideoPage(const std::shared_ptr<SimulatedCamera>& camera)
    {
        page = std::make_unique<Vorn_SettingVideo>();
        versions = std::make_unique<QSignalSpy>(page.get(), &Vorn_SettingVideo::versionInfo);
        upStatus = std::make_unique<QSignalSpy>(page.get(), &Vorn_SettingVideo::checkUpStatus);
        const VideoInputInfo info(camera->config().description, camera->deviceName(), true);
        page->connectControls(info);
        page->setCameraInfo(info);
        page->captureState(true);
        page->openDevice();
        page->show();
    }

    template <typename T> T* find(const char* name) const
    {
        T* widget = page->findChild<T*>(QLatin1String(name));
        if (!widget) {
            qFatal("no widget %s", name);
        }
        return widget;
    }
    QSlider* slider(const char* name) const { return find<QSlider>(name); }
    QLabel* label(const char* name) const { return find<QLabel>(name); }
    QPushButton* button(const char* name) const { return find<QPushButton>(name); }
    QCheckBox* box(const char* name) const { return find<QCheckBox>(name); }

    std::unique_ptr<Vorn_SettingVideo> page;
    std::unique_ptr<QSignalSpy> versions;
    std::unique_ptr<QSignalSpy> upStatus;
};

// The sequence a reading of the settings sends, for a camera at its
// defaults (flips off, automatic exposure, contrast 50, no shifts, Meeting)
// with automatic white balance.
QStringList defaultReading()
{
    return {
        "GET 9",    "PA GetRange 1", "GET 25", "GET 24",    "GET 11",    "SET 10 01",
        "PA Get 1", "PA Set 1 50 2", "GET 15", "PA Get 7",  "SET 15 00", "GET 14",
        "PA Get 7", "SET 14 00",     "GET 13", "SET 13 06",
    };
}

// A reading once the page has the camera's style: the style box is already
// checked, so the style is not sent again.
QStringList repeatedReading()
{
    QStringList reading = defaultReading();
    reading.removeLast();
    return reading;
}

} // namespace

// The video page against the simulated camera: every test asserts on the
// requests the camera received.
class tst_SettingVideo : public QObject
{
    Q_OBJECT

private:
    ControlFixture fixture;

private slots:
    void init() { fixture.reset(); }
    void cleanup() { fixture.reset(); }

    void readingSequenceAndFlipsWrittenBack()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        camera->modifyState([](SimulatedCameraState& s) {
            s.horizontalFlip = true;
            s.autoExposure = false;
            s.exposure = -3;
            s.redShift = 4;
            s.blueShift = 7;
            s.contrast = 40;
        });
        WireLog wire(camera);
        VideoPage page(camera);
        QCOMPARE(wire.requests(),
                 QStringList({
                     "PA Get 7", // both instances read the white balance
                     "PA Get 7", // mode when they bind
                     "GET 9",     "PA GetRange 1", "GET 25",
                     "SET 25 01", // the switch changed: written back
                     "GET 24",    // unchanged: nothing written
                     "GET 11",    "SET 10 00",     "SET 11 FD", "PA Get 1", "PA Set 1 40 2",
                     "GET 15",    "PA Get 7",      "SET 15 04", "GET 14",   "PA Get 7",
                     "SET 14 07", "GET 13",        "SET 13 06",
                 }));
        QVERIFY(page.button("pushButton_FlipH")->isChecked());
        QVERIFY(!page.button("pushButton_FlipV")->isChecked());
        QCOMPARE(page.slider("horizontalSlider")->value(), -3);
        QCOMPARE(page.label("label_SliderValue")->text(), QString("-3"));
        QCOMPARE(page.slider("horizontalSlider_DRC")->minimum(), 0);
        QCOMPARE(page.slider("horizontalSlider_DRC")->maximum(), 100);
        QCOMPARE(page.slider("horizontalSlider_DRC")->value(), 40);
        QCOMPARE(page.slider("horizontalSlider_RG")->value(), 4);
        QCOMPARE(page.slider("horizontalSlider_BG")->value(), 7);
        QVERIFY(page.box("checkBox_Meeting")->isChecked());
        QVERIFY(!page.box("checkBox_Meeting")->isEnabled());
        QCOMPARE(page.upStatus->count(), 1);
        QCOMPARE(page.upStatus->at(0).at(0).toBool(), true);

        // A second reading with nothing changed: no flip or style is sent
        // again, exposure and the shifts are.
        wire.clear();
        page.button("pushButton_FlipH")->setChecked(true);
        page.page->openDevice();
        QVERIFY(!wire.requests().contains("SET 25 01"));
        QVERIFY(!wire.requests().contains("SET 13 06"));
        QVERIFY(wire.requests().contains("SET 11 FD"));
    }

    void readingAtDefaults()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        WireLog wire(camera);
        VideoPage page(camera);
        QCOMPARE(wire.requests(), QStringList({"PA Get 7", "PA Get 7"}) + defaultReading());
        // Exposure 0 means automatic: the slider and its label show 0.
        QCOMPARE(page.slider("horizontalSlider")->value(), 0);
        QCOMPARE(page.label("label_SliderValue")->text(), QString("0"));
    }

    void negativeShiftsReadWithAutomaticWhiteBalance()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        camera->modifyState([](SimulatedCameraState& s) { s.redShift = -4; });
        WireLog wire(camera);
        VideoPage page(camera);
        // Automatic white balance keeps no negative shift: the slider goes to
        // 0 and nothing is written back for it.
        QCOMPARE(page.slider("horizontalSlider_RG")->minimum(), 0);
        QCOMPARE(page.slider("horizontalSlider_RG")->value(), 0);
        const QStringList sent = wire.requests();
        QVERIFY(!sent.contains("SET 15 FC"));
        QCOMPARE(sent.mid(sent.indexOf("GET 15"), 3),
                 QStringList({"GET 15", "PA Get 7", "GET 14"}));
    }

    void versionText_data()
    {
        QTest::addColumn<QString>("description");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("shown");
        QTest::newRow("SV-CAM-417")
            << "SV-CAM-417 Conference" << QByteArray("XY:1.0.3") << "FW: 1.0.3";
        QTest::newRow("Solvane") << "Solvane Room" << QByteArray("XY:1.0.3") << "FW: 1.0.3";
        QTest::newRow("other camera") << "Other Camera" << QByteArray("XY:1.0.3") << "1.0.3";
        QTest::newRow("case matters") << "solvane room" << QByteArray("XY:1.0.3") << "1.0.3";
        QTest::newRow("second field only") << "Other" << QByteArray("A:2.1:build7") << "2.1";
        QTest::newRow("empty second field") << "Other" << QByteArray("A::x") << "";
        QTest::newRow("no colon: whole text") << "Other" << QByteArray("V2.0.1") << "V2.0.1";
        QTest::newRow("no colon, FW camera")
            << "SV-CAM-417" << QByteArray("V2.0.1") << "FW: V2.0.1";
        // All 24 bytes used: the text ends with the buffer.
        QTest::newRow("full buffer")
            << "Other" << QByteArray("ABCDEFGHIJ:0123456789abc") << "0123456789abc";
    }

    void versionText()
    {
        QFETCH(QString, description);
        QFETCH(QByteArray, answer);
        QFETCH(QString, shown);
        auto camera = fixture.plug(description);
        setDeviceInformation(camera, answer);
        VideoPage page(camera);
        QCOMPARE(page.versions->count(), 1);
        QCOMPARE(page.versions->at(0).at(0).toString(), shown);
    }

    void failedDeviceInformation()
    {
        auto camera = fixture.plug("SV-CAM-417");
        failSelector(camera, 9);
        WireLog wire(camera);
        VideoPage page(camera);
        QCOMPARE(page.versions->count(), 1);
        QCOMPARE(page.versions->at(0).at(0).toString(), QString("Get device info failed!"));
        // The rest of the reading goes on.
        QCOMPARE(page.upStatus->count(), 1);
        QVERIFY(wire.requests().contains("GET 13"));
    }

    void exposureMoves()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        VideoPage page(camera);
        WireLog wire(camera);
        QSlider* slider = page.slider("horizontalSlider");
        drag(slider, -3);
        QCOMPARE(wire.requests(), QStringList({"SET 10 00", "SET 11 FD"}));
        QCOMPARE(camera->state().exposure, -3);
        QVERIFY(!camera->state().autoExposure);
        wire.clear();
        drag(slider, 0);
        QCOMPARE(wire.requests(), QStringList({"SET 10 01"}));
        QVERIFY(camera->state().autoExposure);
        wire.clear();
        drag(slider, 7);
        QCOMPARE(wire.requests(), QStringList({"SET 10 00", "SET 11 07"}));
        // A program-made value change reaches neither camera nor label.
        wire.clear();
        slider->setValue(2);
        QCOMPARE(wire.requests(), QStringList());
        QCOMPARE(page.label("label_SliderValue")->text(), QString("7"));
    }

    void contrastMoves()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        VideoPage page(camera);
        WireLog wire(camera);
        drag(page.slider("horizontalSlider_DRC"), 73);
        QCOMPARE(wire.requests(), QStringList({"PA Set 1 73 2"}));
        QCOMPARE(camera->state().contrast, 73);
        QCOMPARE(page.label("label_SliderValue_DRC")->text(), QString("73"));
    }

    void colourShiftWithAutomaticWhiteBalance()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        VideoPage page(camera);
        WireLog wire(camera);
        QSlider* blue = page.slider("horizontalSlider_BG");
        QLabel* label = page.label("label_SliderValue_BG");
        drag(blue, -4);
        QCOMPARE(wire.requests(), QStringList({"PA Get 7"}));
        QCOMPARE(blue->minimum(), 0);
        QCOMPARE(blue->value(), 0);
        QCOMPARE(label->pos(), QPoint(110, 5)); // middle of the 200-pixel track
        QCOMPARE(label->text(), QString("-4"));
        QCOMPARE(camera->state().blueShift, 0);

        wire.clear();
        drag(blue, 3);
        QCOMPARE(wire.requests(), QStringList({"PA Get 7", "SET 14 03"}));
        QCOMPARE(blue->minimum(), -10);
        QCOMPARE(blue->value(), 3); // the widened range kept the handle where it was let go
        QCOMPARE(camera->state().blueShift, 3);
    }

    void colourShiftWithManualWhiteBalance()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        VideoPage page(camera);
        camera->modifyState([](SimulatedCameraState& s) { s.autoWhiteBalance = false; });
        WireLog wire(camera);
        QSlider* red = page.slider("horizontalSlider_RG");
        drag(red, -6);
        QCOMPARE(wire.requests(), QStringList({"PA Get 7", "SET 15 FA"}));
        QCOMPARE(red->minimum(), -10);
        QCOMPARE(red->value(), -6);
        QCOMPARE(camera->state().redShift, -6);
        // -6 on -10..10: 4 * 200 / 20 + 10
        QCOMPARE(page.label("label_SliderValue_RG")->pos(), QPoint(50, 5));
    }

    void valueLabelPlacementAndHiding()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        camera->modifyState([](SimulatedCameraState& s) { s.autoWhiteBalance = false; });
        VideoPage page(camera);
        QSlider* red = page.slider("horizontalSlider_RG");
        QLabel* label = page.label("label_SliderValue_RG");
        red->setSliderDown(true);
        red->setSliderPosition(5);
        QCOMPARE(label->pos(), QPoint(160, 5));
        QCOMPARE(label->text(), QString("5"));
        QVERIFY(label->isVisible());
        red->setSliderDown(false); // released away from the minimum
        QVERIFY(label->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!label->isVisible(), 2000);

        // Released at the minimum the label stays.
        QSlider* exposure = page.slider("horizontalSlider");
        QLabel* exposureLabel = page.label("label_SliderValue");
        drag(exposure, -7);
        QCOMPARE(exposureLabel->pos(), QPoint(10, 5));
        QTest::qWait(1300);
        QVERIFY(exposureLabel->isVisible());

        // Truncated toward zero: 3 of 0..100 on 200 pixels is 16.
        drag(page.slider("horizontalSlider_DRC"), 3);
        QCOMPARE(page.label("label_SliderValue_DRC")->pos(), QPoint(16, 5));
    }

    void emptyRangePutsLabelAtStart()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        VideoPage page(camera);
        failContrastRange(camera);
        QLabel* label = page.label("label_SliderValue_DRC");
        label->move(99, 5);
        page.page->openDevice();
        QSlider* contrast = page.slider("horizontalSlider_DRC");
        QCOMPARE(contrast->minimum(), 0);
        QCOMPARE(contrast->maximum(), 0);
        QCOMPARE(contrast->value(), 0); // 50 read, held by the empty range
        QCOMPARE(label->pos(), QPoint(10, 5));
        // The camera keeps its contrast: the value read is written back.
        QCOMPARE(camera->state().contrast, 50);
    }

    void imageStylePair()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        VideoPage page(camera);
        QCheckBox* meeting = page.box("checkBox_Meeting");
        QCheckBox* live = page.box("checkBox_Live");
        WireLog wire(camera);
        QTest::mouseClick(live, Qt::LeftButton);
        QCOMPARE(wire.requests(), QStringList({"SET 13 05"}));
        QVERIFY(live->isChecked() && !live->isEnabled());
        QVERIFY(!meeting->isChecked() && meeting->isEnabled());
        QCOMPARE(camera->state().imageStyle, 5);

        // The chosen box cannot be clicked off.
        wire.clear();
        QTest::mouseClick(live, Qt::LeftButton);
        QVERIFY(live->isChecked());
        QCOMPARE(wire.requests(), QStringList());

        QTest::mouseClick(meeting, Qt::LeftButton);
        QCOMPARE(wire.requests(), QStringList({"SET 13 06"}));
        QVERIFY(meeting->isChecked() && !meeting->isEnabled());
        QVERIFY(!live->isChecked() && live->isEnabled());
    }

    void unknownStyleChangesNothing()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        camera->modifyState([](SimulatedCameraState& s) { s.imageStyle = 5; });
        VideoPage page(camera);
        QVERIFY(page.box("checkBox_Live")->isChecked());
        camera->modifyState([](SimulatedCameraState& s) { s.imageStyle = 7; });
        WireLog wire(camera);
        page.page->openDevice();
        QCOMPARE(wire.requests().last(), QString("GET 13"));
        QVERIFY(page.box("checkBox_Live")->isChecked());
        QVERIFY(!page.box("checkBox_Meeting")->isChecked());
    }

    void flipsSendTheirSelectors()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        VideoPage page(camera);
        WireLog wire(camera);
        QTest::mouseClick(page.button("pushButton_FlipV"), Qt::LeftButton);
        QTest::mouseClick(page.button("pushButton_FlipH"), Qt::LeftButton);
        QTest::mouseClick(page.button("pushButton_FlipV"), Qt::LeftButton);
        QCOMPARE(wire.requests(), QStringList({"SET 24 01", "SET 25 01", "SET 24 00"}));
        QVERIFY(camera->state().horizontalFlip);
        QVERIFY(!camera->state().verticalFlip);
    }

    void panTiltWhileHeld()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        VideoPage page(camera);
        long panSpeed = 0;
        long tiltSpeed = 0;
        cameraProperty.cameraControl->GetRange(10, nullptr, nullptr, nullptr, &panSpeed, nullptr);
        cameraProperty.cameraControl->GetRange(11, nullptr, nullptr, nullptr, &tiltSpeed, nullptr);
        QVERIFY(panSpeed != 0 && tiltSpeed != 0);
        const auto n = [](long v) { return QString::number(v); };
        const struct
        {
            const char* button;
            QStringList pressed;
            QString released;
        } cases[] = {
            {"pushButton_left",
             {"CC GetRange 10", "CC Set 10 " + n(-panSpeed) + " 2"},
             "CC Set 10 0 2"},
            {"pushButton_right",
             {"CC GetRange 10", "CC Set 10 " + n(panSpeed) + " 2"},
             "CC Set 10 0 2"},
            {"pushButton_up",
             {"CC GetRange 11", "CC Set 11 " + n(tiltSpeed) + " 2"},
             "CC Set 11 0 2"},
            {"pushButton_down",
             {"CC GetRange 11", "CC Set 11 " + n(-tiltSpeed) + " 2"},
             "CC Set 11 0 2"},
        };
        for (const auto& c : cases) {
            WireLog wire(camera);
            QPushButton* button = page.button(c.button);
            QTest::mousePress(button, Qt::LeftButton);
            QCOMPARE(wire.requests(), c.pressed);
            QTest::qWait(50); // nothing repeats while held
            QCOMPARE(wire.requests(), c.pressed);
            QTest::mouseRelease(button, Qt::LeftButton);
            QCOMPARE(wire.requests(), c.pressed + QStringList{c.released});
        }
        QCOMPARE(camera->state().panSpeed, 0);
        QCOMPARE(camera->state().tiltSpeed, 0);
    }

    void failedRangeSendsNoMotion()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        VideoPage page(camera);
        failPanSpeedRange(camera);
        WireLog wire(camera);
        QTest::mousePress(page.button("pushButton_left"), Qt::LeftButton);
        QCOMPARE(wire.requests(), QStringList({"CC GetRange 10"}));
    }

    void zoomAndHome()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        VideoPage page(camera);
        WireLog wire(camera);
        QTest::mousePress(page.button("pushButton_zoomin"), Qt::LeftButton);
        QTest::mouseRelease(page.button("pushButton_zoomin"), Qt::LeftButton);
        QTest::mousePress(page.button("pushButton_zoomout"), Qt::LeftButton);
        QTest::mouseRelease(page.button("pushButton_zoomout"), Qt::LeftButton);
        QTest::mousePress(page.button("pushButton_home"), Qt::LeftButton);
        QCOMPARE(wire.requests(), QStringList({"ZOOM SET 12 01 00 06", "ZOOM SET 12 00 00 00",
                                               "ZOOM SET 12 FF 00 06", "ZOOM SET 12 00 00 00",
                                               "CC Set 0 0 2", "CC Set 1 0 2", "CC Set 3 0 2"}));
    }

    void factoryReset()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        VideoPage page(camera);
        QLabel* restore = page.label("label_restore_to_factory_settings");
        ScriptedAnswers answers;
        answers.button = QMessageBox::No;
        WireLog wire(camera);
        QTest::mouseClick(restore, Qt::LeftButton);
        QCOMPARE(answers.requests.size(), 1);
        QCOMPARE(answers.requests.at(0).title, QString("Notice"));
        QCOMPARE(answers.requests.at(0).text, QString("Restore to default settings?"));
        QCOMPARE(answers.requests.at(0).buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(answers.requests.at(0).defaultButton, QMessageBox::Yes);
        QVERIFY(answers.requests.at(0).parent == nullptr);
        QCOMPARE(wire.requests(), QStringList());

        answers.button = QMessageBox::Yes;
        QTest::mouseClick(restore, Qt::LeftButton);
        QCOMPARE(wire.requests(),
                 QStringList({"SET 23 01", "CC Set 0 0 2", "CC Set 1 0 2", "CC Set 3 0 2"}) +
                     repeatedReading());
    }

    void advancedSettingsReadsAgain()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        VideoPage page(camera);
        ScriptedAnswers answers;
        WireLog wire(camera);
        cameraProperty.setDialogLibraryFile(QDir::temp().filePath("no-such-dialog-library.so"));
        QTest::mouseClick(page.label("label_UVCSettings"), Qt::LeftButton);
        cameraProperty.setDialogLibraryFile(QString());
        // The attempt was made (the library is missing and the user is told),
        // then the page read the camera's settings again.
        QCOMPARE(answers.requests.size(), 1);
        QCOMPARE(answers.requests.at(0).text, QString("DLL is not loaded!"));
        QCOMPARE(wire.requests(), repeatedReading());
        QCOMPARE(page.versions->count(), 2);
    }

    void greyedWhileCaptureOff()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        camera->modifyState([](SimulatedCameraState& s) { s.autoWhiteBalance = false; });
        VideoPage page(camera);
        drag(page.slider("horizontalSlider"), 4);
        drag(page.slider("horizontalSlider_RG"), 5);
        page.page->captureState(false);

        const QString grey = "color: grey;";
        for (const char* name :
             {"label_Exposure", "label_DRC", "label_RG", "label_BG", "label_FlipH", "label_FlipV",
              "label_UVCSettings", "label_restore_to_factory_settings"}) {
            QVERIFY2(page.label(name)->styleSheet().contains(grey), name);
        }
        for (const char* box : {"ExposureBox", "DRC_CTLBox", "RG_CTLBox", "BG_CTLBox"}) {
            QVERIFY2(!page.page->findChild<QWidget*>(box)->isEnabled(), box);
        }
        QCOMPARE(page.slider("horizontalSlider")->value(), -7);
        QCOMPARE(page.label("label_SliderValue")->text(), QString("-7"));
        QCOMPARE(page.label("label_SliderValue")->pos(), QPoint(10, 5));
        QCOMPARE(page.slider("horizontalSlider_RG")->value(), -10);
        QCOMPARE(page.label("label_SliderValue_RG")->text(), QString("-10"));
        QVERIFY(page.label("label_SliderValue_RG")->isVisible());
        QVERIFY(!page.button("pushButton_FlipV")->isEnabled());

        // Nothing reaches the camera, except the image style.
        ScriptedAnswers answers;
        WireLog wire(camera);
        for (const char* motion : {"pushButton_left", "pushButton_right", "pushButton_up",
                                   "pushButton_down", "pushButton_zoomin", "pushButton_home"}) {
            QTest::mousePress(page.button(motion), Qt::LeftButton);
            QTest::mouseRelease(page.button(motion), Qt::LeftButton);
        }
        QSlider* exposure = page.slider("horizontalSlider");
        exposure->setSliderDown(true);
        exposure->setSliderPosition(3);
        exposure->setSliderDown(false);
        QTest::mouseClick(page.label("label_UVCSettings"), Qt::LeftButton);
        QTest::mouseClick(page.label("label_restore_to_factory_settings"), Qt::LeftButton);
        QCOMPARE(answers.requests.size(), 0);
        QCOMPARE(wire.requests(), QStringList());

        QTest::mouseClick(page.box("checkBox_Live"), Qt::LeftButton);
        QCOMPARE(wire.requests(), QStringList({"SET 13 05"}));

        // On again: the labels are white, the sliders keep their values.
        const int held = page.slider("horizontalSlider")->value();
        page.page->captureState(true);
        QVERIFY(page.label("label_Exposure")->styleSheet().contains("color: rgb(255, 255, 255);"));
        QVERIFY(page.page->findChild<QWidget*>("ExposureBox")->isEnabled());
        QCOMPARE(page.slider("horizontalSlider")->value(), held);
    }

    void motionHeldAcrossCaptureOffStops()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        VideoPage page(camera);
        WireLog wire(camera);
        QTest::mousePress(page.button("pushButton_right"), Qt::LeftButton);
        QTest::mousePress(page.button("pushButton_zoomin"), Qt::LeftButton);
        page.page->captureState(false);
        QTest::mouseRelease(page.button("pushButton_right"), Qt::LeftButton);
        QTest::mouseRelease(page.button("pushButton_zoomin"), Qt::LeftButton);
        const QStringList sent = wire.requests();
        QCOMPARE(sent.mid(sent.size() - 2), QStringList({"CC Set 10 0 2", "ZOOM SET 12 00 00 00"}));
        QCOMPARE(camera->state().panSpeed, 0);
        QCOMPARE(camera->state().zoomSpeed, 0);
    }

    void lastCameraNameFromConfig()
    {
        QTemporaryDir dir;
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        {
            QSettings ini("config.ini", QSettings::IniFormat);
            ini.setValue("CAM/name", "Room Camera");
        }
        LogCapture log;
        Vorn_SettingVideo page;
        page.openDevice(); // capture off: only the file is read
        QDir::setCurrent(previous);
        QVERIFY(log.lines().contains("last_camera_name:  \"Room Camera\""));
    }

    void neverOpenedSendsNothingAndDoesNotCrash()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        WireLog wire(camera);
        Vorn_SettingVideo page;
        page.connectControls(VideoInputInfo());
        page.captureState(true);
        QPushButton* left = page.findChild<QPushButton*>("pushButton_left");
        QTest::mousePress(left, Qt::LeftButton);
        QTest::mouseRelease(left, Qt::LeftButton);
        QTest::mouseClick(page.findChild<QPushButton*>("pushButton_FlipV"), Qt::LeftButton);
        QCOMPARE(wire.requests(), QStringList());
    }
};

QTEST_MAIN(tst_SettingVideo)
#include "tst_settingvideo.moc"
