#include "controltesthelpers.h"
#include "mainwindowinspector.h"
#include "simulateddevicecatalog.h"
#include "vorn_ffmpeglib.h"
#include "vorn_settingaudio.h"
#include "vorn_settingvideo.h"

#include <QPushButton>
#include <QSlider>
#include <QtTest>

#include <memory>

namespace {

// The preview picture shrunk to a grid of block means: enough to see a flip
// or a brightness change, blind to the camera's noise.
QImage blocks(const QImage& frame)
{
    return frame.scaled(64, 36, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_RGB888);
}

double meanDifference(const QImage& a, const QImage& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uchar* pa = a.constScanLine(y);
        const uchar* pb = b.constScanLine(y);
        for (int x = 0; x < a.width() * 3; ++x) {
            sum += std::abs(int(pa[x]) - int(pb[x]));
        }
    }
    return sum / (a.width() * a.height() * 3);
}

double meanLevel(const QImage& a)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uchar* p = a.constScanLine(y);
        for (int x = 0; x < a.width() * 3; ++x) {
            sum += p[x];
        }
    }
    return sum / (a.width() * a.height() * 3);
}

// A frame that left the camera after the call, not one already on its way.
QImage nextFrames(MainWindowInspector& inspect, int frames = 6)
{
    QImage latest;
    for (int i = 0; i < frames; ++i) {
        const QImage before = inspect.lastFrame();
        if (!QTest::qWaitFor([&] { return inspect.lastFrame() != before; }, 5000)) {
            return QImage();
        }
        latest = inspect.lastFrame().copy();
    }
    return latest;
}

} // namespace

// The pages inside the real main window: how the window drives them, and
// controls moved there changing the simulated camera's picture as the
// capture library delivers it.
class tst_ControlWindow : public QObject
{
    Q_OBJECT

private:
    ControlFixture fixture;
    SimulatedDeviceCatalog catalog;

private slots:
    void initTestCase() { DeviceCatalog::setInstance(&catalog); }
    void cleanupTestCase() { DeviceCatalog::setInstance(nullptr); }
    void init() { fixture.reset(); }
    void cleanup() { fixture.reset(); }

    void openingACameraFillsThePages()
    {
        auto camera = fixture.plug("SV-CAM-417 Conference");
        setDeviceInformation(camera, "SIM:2.4.1");
        camera->modifyState([](SimulatedCameraState& s) {
            s.audioFunction = true;
            s.audioProcessing = false;
            s.verticalFlip = true;
        });
        Vorn_Cam window; // a lone camera is opened at once
        MainWindowInspector inspect(window);
        QVERIFY(inspect.captureOn());
        QCOMPARE(inspect.ui()->label_version->text(), QString("FW: 2.4.1"));
        QVERIFY(!inspect.ui()->label_check_for_new_firmware->isVisibleTo(&window));

        Vorn_SettingVideo* video = inspect.settingVideo();
        Vorn_settingAudio* audio = inspect.settingAudio();
        QCOMPARE(inspect.ui()->settingWidget->indexOf(video), 0);
        QCOMPARE(inspect.ui()->settingWidget->indexOf(audio), 1);
        QVERIFY(video->findChild<QPushButton*>("pushButton_FlipV")->isChecked());
        QVERIFY(video->findChild<QWidget*>("ExposureBox")->isEnabled());
        auto* audioSwitch = audio->findChild<QPushButton*>("pushButton_Audio");
        auto* algoSwitch = audio->findChild<QPushButton*>("pushButton_Audio_Algo");
        QVERIFY(audioSwitch->isChecked() && audioSwitch->isEnabled());
        QVERIFY(!algoSwitch->isChecked());

        // The tab buttons switch pages.
        QTest::mouseClick(inspect.ui()->bt_audio, Qt::LeftButton);
        QCOMPARE(inspect.ui()->settingWidget->currentWidget(), audio);
        QTest::mouseClick(inspect.ui()->bt_video, Qt::LeftButton);
        QCOMPARE(inspect.ui()->settingWidget->currentWidget(), video);

        // Releasing the camera greys both pages.
        inspect.activate(0);
        QVERIFY(!video->findChild<QWidget*>("ExposureBox")->isEnabled());
        QVERIFY(!audioSwitch->isEnabled() && !audioSwitch->isChecked());
    }

    void audioRestartReleasesTheCamera()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        camera->modifyState([](SimulatedCameraState& s) { s.audioFunction = true; });
        Vorn_Cam window;
        window.show();
        MainWindowInspector inspect(window);
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(inspect.captureLib()->CaptureIsOpen(), 10000);

        ScriptedAnswers answers;
        WireLog wire(camera);
        auto* audioSwitch = inspect.settingAudio()->findChild<QPushButton*>("pushButton_Audio");
        QTest::mouseClick(inspect.ui()->bt_audio, Qt::LeftButton);
        QTest::mouseClick(audioSwitch, Qt::LeftButton);
        QCOMPARE(answers.requests.size(), 1);
        QCOMPARE(answers.requests.at(0).text, QString("Reboot to turn off Audio?"));
        QVERIFY(!inspect.captureOn());
        QVERIFY(!inspect.captureLib()->CaptureIsOpen());
        QVERIFY(!inspect.ui()->pushButton_preview->isChecked());
        QCOMPARE(inspect.ui()->comboBox->currentIndex(), 0);
        QVERIFY(!audioSwitch->isEnabled());
        QCOMPARE(wire.requests(), QStringList({"SET 26 00"}));
        QVERIFY(!camera->state().audioFunction);
    }

    void framesSendNoRequests()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        Vorn_Cam window;
        window.show();
        MainWindowInspector inspect(window);
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(!inspect.lastFrame().isNull(), 10000);
        WireLog wire(camera);
        QVERIFY(!nextFrames(inspect, 15).isNull());
        QCOMPARE(camera->requests().size(), 0);
    }

    void controlsChangeThePicture()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        Vorn_Cam window;
        window.show();
        MainWindowInspector inspect(window);
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(!inspect.lastFrame().isNull(), 10000);
        const QImage before = blocks(nextFrames(inspect));
        QVERIFY(!before.isNull());
        // Two frames of a still camera are alike: the measure is fair.
        QVERIFY2(meanDifference(before, blocks(nextFrames(inspect))) < 3.0, "noisy picture");

        Vorn_SettingVideo* video = inspect.settingVideo();
        QTest::mouseClick(video->findChild<QPushButton*>("pushButton_FlipH"), Qt::LeftButton);
        const QImage flipped = blocks(nextFrames(inspect));
        QVERIFY(camera->state().horizontalFlip);
        QVERIFY2(meanDifference(flipped, before) > 6.0, "the flip did not change the picture");
        QVERIFY2(meanDifference(flipped, before.mirrored(true, false)) < 4.0,
                 "the picture is not the mirror image");

        QSlider* exposure = video->findChild<QSlider*>("horizontalSlider");
        exposure->setSliderDown(true);
        exposure->setSliderPosition(6);
        exposure->setSliderDown(false);
        const QImage brighter = blocks(nextFrames(inspect));
        QCOMPARE(camera->state().exposure, 6);
        QVERIFY2(meanLevel(brighter) > meanLevel(flipped) + 10.0, "exposure had no effect");
    }
};

QTEST_MAIN(tst_ControlWindow)
#include "tst_controlwindow.moc"
