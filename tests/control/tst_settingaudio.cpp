#include "controltesthelpers.h"
#include "vorn_settingaudio.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

struct AudioPage
{
    AudioPage()
    {
        page = std::make_unique<Vorn_settingAudio>();
        reboots = std::make_unique<QSignalSpy>(page.get(), &Vorn_settingAudio::audioReboot);
        page->show();
    }

    QPushButton* audio() const { return page->findChild<QPushButton*>("pushButton_Audio"); }
    QPushButton* algo() const { return page->findChild<QPushButton*>("pushButton_Audio_Algo"); }
    QLabel* label(const char* name) const { return page->findChild<QLabel*>(name); }

    std::unique_ptr<Vorn_settingAudio> page;
    std::unique_ptr<QSignalSpy> reboots;
};

} // namespace

// The audio page against the simulated camera, bound as the main window
// binds it before it announces the capture state.
class tst_SettingAudio : public QObject
{
    Q_OBJECT

private:
    ControlFixture fixture;

    std::shared_ptr<SimulatedCamera> openCamera(bool audio, bool processing)
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        camera->modifyState([=](SimulatedCameraState& s) {
            s.audioFunction = audio;
            s.audioProcessing = processing;
        });
        cameraProperty.open(camera->deviceName());
        return camera;
    }

private slots:
    void init() { fixture.reset(); }
    void cleanup() { fixture.reset(); }

    void greyAndOffUntilCaptureOn()
    {
        AudioPage page; // no camera bound: both reads fail
        QVERIFY(!page.audio()->isChecked());
        QVERIFY(!page.algo()->isChecked());
        QVERIFY(!page.audio()->isEnabled());
        QVERIFY(!page.algo()->isEnabled());
        QVERIFY(page.label("label_Audio")->styleSheet().contains("color: grey;"));
        QVERIFY(page.label("label_Audio_Algo")->styleSheet().contains("color: grey;"));
    }

    void loadShowsTheCameraSwitches()
    {
        auto camera = openCamera(true, false);
        AudioPage page;
        WireLog wire(camera);
        page.page->loadAudioState();
        page.page->captureState(true);
        QCOMPARE(wire.requests(), QStringList({"GET 26", "GET 27"}));
        QVERIFY(page.audio()->isChecked());
        QVERIFY(!page.algo()->isChecked());
        QVERIFY(page.audio()->isEnabled() && page.algo()->isEnabled());
        QVERIFY(page.label("label_Audio")->styleSheet().contains("color: rgb(255, 255, 255);"));

        camera->modifyState([](SimulatedCameraState& s) {
            s.audioFunction = false;
            s.audioProcessing = true;
        });
        page.page->loadAudioState();
        QVERIFY(!page.audio()->isChecked());
        QVERIFY(page.algo()->isChecked());
        // Capture off greys the page and clears the switches.
        page.page->captureState(false);
        QVERIFY(!page.algo()->isChecked());
        QVERIFY(!page.algo()->isEnabled());
    }

    void failedReadShowsOff()
    {
        auto camera = openCamera(true, true);
        AudioPage page;
        page.page->loadAudioState();
        QVERIFY(page.audio()->isChecked());
        failSelector(camera, 26);
        page.page->loadAudioState();
        QVERIFY(!page.audio()->isChecked());
        QVERIFY(page.algo()->isChecked());
    }

    void audioSwitchAnsweredNo()
    {
        auto camera = openCamera(false, true);
        AudioPage page;
        page.page->loadAudioState();
        page.page->captureState(true);
        ScriptedAnswers answers;
        answers.button = QMessageBox::No;
        WireLog wire(camera);
        QTest::mouseClick(page.audio(), Qt::LeftButton);
        QCOMPARE(answers.requests.size(), 1);
        const DialogSeam::Request& asked = answers.requests.at(0);
        QCOMPARE(asked.kind, DialogSeam::Kind::Information);
        QVERIFY(asked.parent == nullptr);
        QCOMPARE(asked.title, QString("Notice"));
        QCOMPARE(asked.text, QString("Reboot to turn on Audio?"));
        QCOMPARE(asked.buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(asked.defaultButton, QMessageBox::Yes);
        QVERIFY(!page.audio()->isChecked());
        QCOMPARE(page.reboots->count(), 0);
        QCOMPARE(wire.requests(), QStringList());
    }

    void audioSwitchAnsweredYes_data()
    {
        QTest::addColumn<bool>("startsOn");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("sent");
        QTest::newRow("turn on") << false << "Reboot to turn on Audio?"
                                 << "SET 26 01";
        QTest::newRow("turn off") << true << "Reboot to turn off Audio?"
                                  << "SET 26 00";
    }

    void audioSwitchAnsweredYes()
    {
        QFETCH(bool, startsOn);
        QFETCH(QString, question);
        QFETCH(QString, sent);
        auto camera = openCamera(startsOn, true);
        AudioPage page;
        page.page->loadAudioState();
        page.page->captureState(true);
        // The window's answer to the signal: capture state false, before the
        // byte goes out.
        bool greyedBeforeWrite = false;
        WireLog wire(camera);
        QObject::connect(page.page.get(), &Vorn_settingAudio::audioReboot, page.page.get(), [&] {
            greyedBeforeWrite = wire.requests().isEmpty();
            page.page->captureState(false);
        });
        ScriptedAnswers answers;
        QTest::mouseClick(page.audio(), Qt::LeftButton);
        QCOMPARE(answers.requests.size(), 1);
        QCOMPARE(answers.requests.at(0).text, question);
        QCOMPARE(page.reboots->count(), 1);
        QVERIFY(greyedBeforeWrite);
        QCOMPARE(wire.requests(), QStringList({sent}));
        QCOMPARE(camera->state().audioFunction, !startsOn);
        QVERIFY(!page.audio()->isChecked());
        QVERIFY(!page.audio()->isEnabled());
    }

    void audioProcessingSentAtOnce()
    {
        auto camera = openCamera(true, false);
        AudioPage page;
        page.page->loadAudioState();
        page.page->captureState(true);
        ScriptedAnswers answers;
        WireLog wire(camera);
        QTest::mouseClick(page.algo(), Qt::LeftButton);
        QCOMPARE(wire.requests(), QStringList({"SET 27 01"}));
        QVERIFY(camera->state().audioProcessing);
        QTest::mouseClick(page.algo(), Qt::LeftButton);
        QCOMPARE(wire.requests(), QStringList({"SET 27 01", "SET 27 00"}));
        QCOMPARE(answers.requests.size(), 0);
        QCOMPARE(page.reboots->count(), 0);
        QVERIFY(page.algo()->isEnabled());
    }
};

QTEST_MAIN(tst_SettingAudio)
#include "tst_settingaudio.moc"
