#include "mainwindowinspector.h"
#include "privatepulseserver.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"

#include <QLabel>
#include <QSlider>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

#include <memory>

// The speaker and microphone pop-ups of the main window on a private
// PulseAudio server: what they show, what dragging writes to the server,
// and when they close.
class tst_VolumePopup : public QObject
{
    Q_OBJECT

private:
    PrivatePulseServer server;
    SimulatedHub& hub = SimulatedHub::instance();
    SimulatedDeviceCatalog catalog;
    std::unique_ptr<Vorn_Cam> window;
    std::unique_ptr<MainWindowInspector> inspect;

    bool setSinks(quint32 raw)
    {
        return server.setSinkVolumes(QStringLiteral("spk1"), {raw, raw}) &&
               server.setSinkVolumes(QStringLiteral("spk2"), {raw, raw});
    }

    // A drag of the handle as the mouse does it: pressed, moved, released.
    static void drag(QSlider* slider, int position)
    {
        slider->setSliderDown(true);
        slider->setSliderPosition(position);
        slider->setSliderDown(false);
    }

    static bool showsMute(QPushButton* button, const char* picture)
    {
        return button->styleSheet() ==
               QStringLiteral("border-image: url(:/UI/Button/%1);").arg(QLatin1String(picture));
    }

    QPushButton* speakerButton() const { return inspect->ui()->bt_volume; }
    QPushButton* micButton() const { return inspect->ui()->bt_microphone; }

private slots:
    void initTestCase()
    {
        QString error;
        if (!server.start(&error)) {
            QSKIP(qPrintable(error));
        }
        QVERIFY(server.addNullSink(QStringLiteral("spk1"), QStringLiteral("Speakers")) >= 0);
        QVERIFY(server.addNullSink(QStringLiteral("spk2"), QStringLiteral("Headphones")) >= 0);
        QVERIFY(server.addNullSource(QStringLiteral("line1"), QStringLiteral("Line In")) >= 0);
        QVERIFY(server.addNullSource(QStringLiteral("mic1"), QStringLiteral("USB Microphone")) >=
                0);
        DeviceCatalog::setInstance(&catalog);
    }

    void cleanupTestCase()
    {
        DeviceCatalog::setInstance(nullptr);
        server.stop();
    }

    void init()
    {
        hub.reset();
        hub.plugCamera();
        window = std::make_unique<Vorn_Cam>();
        inspect = std::make_unique<MainWindowInspector>(*window);
        window->show();
        // The media buttons come on with the preview switch.
        inspect->ui()->pushButton_preview->setChecked(true);
        QVERIFY(speakerButton()->isEnabled());
        QVERIFY(micButton()->isEnabled());
    }

    void cleanup()
    {
        inspect.reset();
        window.reset();
    }

    void popupsAreBuiltHidden()
    {
        QSlider* speaker = inspect->volumeSlider();
        QSlider* mic = inspect->micSlider();
        QCOMPARE(speaker->geometry(), QRect(825, 525, 45, 100));
        QCOMPARE(mic->geometry(), QRect(898, 525, 45, 100));
        for (QSlider* slider : {speaker, mic}) {
            QVERIFY(!slider->isVisible());
            QCOMPARE(slider->orientation(), Qt::Vertical);
            QCOMPARE(slider->parentWidget(), window.get());
            QCOMPARE(slider->minimum(), 0);
            QCOMPARE(slider->maximum(), 100);
            QCOMPARE(slider->pageStep(), 0);
            QVERIFY(slider->styleSheet().contains(QLatin1String(":/UI/Slider/thumb.png")));
        }
        QCOMPARE(inspect->volumeLabel()->parentWidget(), speaker);
        QCOMPARE(inspect->volumeLabel()->size(), QSize(30, 22));
        QCOMPARE(inspect->micLabel()->size(), QSize(16, 22));
        QVERIFY(!speakerButton()->isChecked());
        QVERIFY(!micButton()->isChecked());
    }

    void buttonOpensWithTheLastDevice()
    {
        QVERIFY(server.setSinkVolumes(QStringLiteral("spk1"), {13107, 13107})); // 0.20
        QVERIFY(server.setSinkVolumes(QStringLiteral("spk2"), {24248, 24248})); // 0.37
        QTest::mouseClick(speakerButton(), Qt::LeftButton);
        QVERIFY(speakerButton()->isChecked());
        QVERIFY(inspect->volumeSlider()->isVisible());
        QCOMPARE(inspect->volumeSlider()->value(), 37);
        QCOMPARE(inspect->volumeLabel()->pos(), QPoint(30, 53));
        QCOMPARE(inspect->volumeLabel()->text(), QStringLiteral("37"));
        QVERIFY(speakerButton()->styleSheet().contains(QLatin1String("Button/volume.png")));
        QVERIFY(speakerButton()->styleSheet().contains(QLatin1String("Button/volume-p.png")));
        QVERIFY(speakerButton()->styleSheet().contains(QLatin1String("Button/volume_white.png")));
    }

    void dragSetsEveryPlaybackDevice()
    {
        QVERIFY(setSinks(65536));
        QTest::mouseClick(speakerButton(), Qt::LeftButton);
        drag(inspect->volumeSlider(), 30);
        QCOMPARE(server.sinkVolumes(QStringLiteral("spk1")), (QList<quint32>{19661, 19661}));
        QCOMPARE(server.sinkVolumes(QStringLiteral("spk2")), (QList<quint32>{19661, 19661}));
        QCOMPARE(inspect->volumeLabel()->text(), QStringLiteral("30"));
        QCOMPARE(inspect->volumeLabel()->pos(), QPoint(30, 59));
    }

    void labelRidesBesideTheHandle_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("y");
        QTest::addColumn<bool>("mute");
        QTest::newRow("0") << 0 << 83 << true;
        QTest::newRow("1") << 1 << 82 << false;
        QTest::newRow("37") << 37 << 53 << false;
        QTest::newRow("100") << 100 << 3 << false;
    }

    void labelRidesBesideTheHandle()
    {
        QFETCH(int, position);
        QFETCH(int, y);
        QFETCH(bool, mute);
        QVERIFY(setSinks(40000));
        QTest::mouseClick(speakerButton(), Qt::LeftButton);
        drag(inspect->volumeSlider(), position);
        QCOMPARE(inspect->volumeLabel()->pos(), QPoint(30, y));
        QCOMPARE(inspect->volumeLabel()->text(), QString::number(position));
        QCOMPARE(showsMute(speakerButton(), "mute.png"), mute);
        // Reopened, the pop-up shows what the server now holds.
        QTest::mouseClick(speakerButton(), Qt::LeftButton);
        QTest::mouseClick(speakerButton(), Qt::LeftButton);
        QCOMPARE(inspect->volumeSlider()->value(), position);
        QCOMPARE(inspect->volumeLabel()->pos(), QPoint(30, y));
        QCOMPARE(showsMute(speakerButton(), "mute.png"), mute);
    }

    void smallVolumeIsNotMute()
    {
        QVERIFY(setSinks(262)); // 0.004
        QTest::mouseClick(speakerButton(), Qt::LeftButton);
        QCOMPARE(inspect->volumeSlider()->value(), 0);
        QCOMPARE(inspect->volumeLabel()->text(), QStringLiteral("0"));
        QCOMPARE(inspect->volumeLabel()->pos(), QPoint(30, 82));
        QVERIFY(!showsMute(speakerButton(), "mute.png"));
    }

    void keyboardAndWheelLeaveTheVolume()
    {
        QVERIFY(setSinks(32768)); // 0.50
        QTest::mouseClick(speakerButton(), Qt::LeftButton);
        QSlider* slider = inspect->volumeSlider();
        QCOMPARE(slider->value(), 50);
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_Up);
        QTest::keyClick(slider, Qt::Key_Up);
        QCOMPARE(slider->value(), 52);
        QWheelEvent wheel(QPointF(20, 50), slider->mapToGlobal(QPoint(20, 50)), QPoint(),
                          QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(slider, &wheel);
        // (With page step 0 Qt bounds a wheel step to nothing; either way no
        // write may follow.)
        QCOMPARE(server.sinkVolumes(QStringLiteral("spk1")), (QList<quint32>{32768, 32768}));
        QCOMPARE(inspect->volumeLabel()->text(), QStringLiteral("50"));
        QCOMPARE(inspect->volumeLabel()->pos(), QPoint(30, 43));
    }

    void microphoneDragSparesOtherInputs()
    {
        QVERIFY(server.setSourceVolumes(QStringLiteral("line1"), {65536, 65536}));
        QVERIFY(server.setSourceVolumes(QStringLiteral("mic1"), {65536, 65536}));
        QTest::mouseClick(micButton(), Qt::LeftButton);
        QVERIFY(inspect->micSlider()->isVisible());
        QCOMPARE(inspect->micSlider()->value(), 100);
        drag(inspect->micSlider(), 45);
        QVERIFY(qAbs(server.sourceScalar(QStringLiteral("mic1")) - 0.45) < 0.0001);
        QCOMPARE(server.sourceVolumes(QStringLiteral("line1")), (QList<quint32>{65536, 65536}));
        QCOMPARE(inspect->micLabel()->text(), QStringLiteral("45"));
        QVERIFY(micButton()->styleSheet().contains(QLatin1String("Button/microphone.png")));
        drag(inspect->micSlider(), 0);
        QCOMPARE(server.sourceVolumes(QStringLiteral("mic1")), (QList<quint32>{0, 0}));
        QVERIFY(showsMute(micButton(), "mic_mute.png"));
        // The speaker side is a separate pop-up.
        QVERIFY(!inspect->volumeSlider()->isVisible());
    }

    void hidesThreeSecondsAfterTheButton()
    {
        QTest::mouseClick(speakerButton(), Qt::LeftButton);
        QTimer* timer = inspect->volumeHideTimer();
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(!inspect->volumeSlider()->isVisible(), 6000);
        QVERIFY(!speakerButton()->isChecked());
        QVERIFY(!timer->isActive());
    }

    void hidesTwoSecondsAfterTheHandle()
    {
        QTest::mouseClick(micButton(), Qt::LeftButton);
        QSlider* slider = inspect->micSlider();
        QTimer* timer = inspect->micHideTimer();
        // Holding and moving the handle keeps the pop-up open.
        slider->setSliderDown(true);
        slider->setSliderPosition(20);
        QVERIFY(!timer->isActive());
        slider->setSliderDown(false);
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 2000);
        QTRY_VERIFY_WITH_TIMEOUT(!slider->isVisible(), 5000);
        QVERIFY(!micButton()->isChecked());
    }

    void secondPressClosesAtOnce()
    {
        QTest::mouseClick(speakerButton(), Qt::LeftButton);
        QVERIFY(inspect->volumeSlider()->isVisible());
        QTest::mouseClick(speakerButton(), Qt::LeftButton);
        QVERIFY(!inspect->volumeSlider()->isVisible());
        QVERIFY(!speakerButton()->isChecked());
        // The release that closed it does not leave a timer running on.
        QTRY_VERIFY_WITH_TIMEOUT(!inspect->volumeHideTimer()->isActive(), 6000);
        QVERIFY(!inspect->volumeSlider()->isVisible());
    }

    // Last: the audio server goes away under the open window.
    void noAudioServerShowsZero()
    {
        QVERIFY(setSinks(40000));
        server.stop();
        QTest::mouseClick(speakerButton(), Qt::LeftButton);
        QVERIFY(inspect->volumeSlider()->isVisible());
        QCOMPARE(inspect->volumeSlider()->value(), 0);
        QCOMPARE(inspect->volumeLabel()->text(), QStringLiteral("0"));
        QVERIFY(showsMute(speakerButton(), "mute.png"));
        QTest::mouseClick(micButton(), Qt::LeftButton);
        QCOMPARE(inspect->micSlider()->value(), 0);
        QVERIFY(showsMute(micButton(), "mic_mute.png"));
        // Dragging without a server changes what is shown and nothing else.
        drag(inspect->volumeSlider(), 60);
        QCOMPARE(inspect->volumeLabel()->text(), QStringLiteral("60"));
    }
};

QTEST_MAIN(tst_VolumePopup)
#include "tst_volumepopup.moc"
