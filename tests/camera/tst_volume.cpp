// The speaker and microphone volume against a private PulseAudio server,
// through the main window's pop-ups where a user reaches them, each value
// checked with the server's own tool.
#include "mainwindowinspector.h"
#include "privatepulseserver.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "systemvolume.h"

#include <QWheelEvent>
#include <QtTest>

#include <memory>

class tst_Volume : public QObject
{
    Q_OBJECT

private:
    PrivatePulseServer server;
    SimulatedDeviceCatalog catalog;
    std::unique_ptr<Vorn_Cam> window;
    std::unique_ptr<MainWindowInspector> inspect;

    bool setSinks(quint32 raw)
    {
        return server.setVolumes("sink", "spk1", {raw, raw}) &&
               server.setVolumes("sink", "spk2", {raw, raw});
    }

    // A drag of the handle as the mouse does it: pressed, moved, released.
    static void drag(QSlider* slider, int position)
    {
        slider->setSliderDown(true);
        slider->setSliderPosition(position);
        slider->setSliderDown(false);
    }

    QPushButton* speaker() const { return inspect->ui()->bt_volume; }
    QPushButton* mic() const { return inspect->ui()->bt_microphone; }

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        QVERIFY(server.addNullSink("spk1", "Speakers") >= 0);
        QVERIFY(server.addNullSink("spk2", "Headphones") >= 0);
        QVERIFY(server.addNullSource("line1", "Line In") >= 0);
        QVERIFY(server.addNullSource("mic1", "USB Microphone") >= 0);
        QVERIFY(server.addNullSource("mic2", "麦克风 (USB Camera)") >= 0);
        DeviceCatalog::setInstance(&catalog);
    }

    void cleanupTestCase() { DeviceCatalog::setInstance(nullptr); }

    void init()
    {
        SimulatedHub::instance().reset();
        SimulatedHub::instance().plugCamera();
        window = std::make_unique<Vorn_Cam>();
        inspect = std::make_unique<MainWindowInspector>(*window);
        window->show();
        // The media buttons come on with the preview switch.
        inspect->ui()->pushButton_preview->setChecked(true);
    }

    void cleanup()
    {
        inspect.reset();
        window.reset();
    }

    void speakerPopUpReadsTheLastDeviceAndWritesEvery()
    {
        QVERIFY(server.setVolumes("sink", "spk1", {13107, 13107})); // 0.20
        QVERIFY(server.setVolumes("sink", "spk2", {24248, 24248})); // 0.37
        QTest::mouseClick(speaker(), Qt::LeftButton);
        QCOMPARE(inspect->volumeSlider()->value(), 37);
        drag(inspect->volumeSlider(), 30);
        QCOMPARE(server.volumes("sink", "spk1"), (QList<quint32>{19661, 19661}));
        QCOMPARE(server.volumes("sink", "spk2"), (QList<quint32>{19661, 19661}));
        // The keyboard and the wheel move the handle and write nothing.
        inspect->volumeSlider()->setFocus();
        QTest::keyClick(inspect->volumeSlider(), Qt::Key_Up);
        QWheelEvent wheel(QPointF(20, 50), QPointF(20, 50), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(inspect->volumeSlider(), &wheel);
        QCOMPARE(server.volumes("sink", "spk1"), (QList<quint32>{19661, 19661}));
        // It closes by itself, and a second press closes it at once.
        QTRY_VERIFY_WITH_TIMEOUT(!inspect->volumeSlider()->isVisible(), 60000);
        QTest::mouseClick(speaker(), Qt::LeftButton);
        QTest::mouseClick(speaker(), Qt::LeftButton);
        QVERIFY(!inspect->volumeSlider()->isVisible());
    }

    void speakerWritesArePinnedAndSmallReadsAreNotZero()
    {
        SystemVolume volume;
        const std::pair<float, quint32> limits[] = {{-0.5f, 0}, {100.5f, 65536}, {150.0f, 65536}};
        for (const auto& [value, raw] : limits) {
            QVERIFY(setSinks(30000));
            volume.setSpeakerVolume(value);
            QCOMPARE(server.volumes("sink", "spk2"), (QList<quint32>{raw, raw}));
        }
        QVERIFY(setSinks(262)); // 0.004
        float value = -1.0f;
        volume.getSpeakerVolume(value);
        QVERIFY2(value > 0.3f && value < 0.5f, qPrintable(QString::number(value)));
    }

    void microphoneWritesSpareOtherInputs()
    {
        for (const char* name : {"line1", "mic1", "mic2"}) {
            QVERIFY(server.setVolumes("source", name, {65536, 65536}));
        }
        QTest::mouseClick(mic(), Qt::LeftButton);
        drag(inspect->micSlider(), 45);
        QCOMPARE(server.volumes("source", "mic1"), (QList<quint32>{29491, 29491}));
        QCOMPARE(server.volumes("source", "mic2"), (QList<quint32>{29491, 29491}));
        QCOMPARE(server.volumes("source", "line1"), (QList<quint32>{65536, 65536}));
        // A read gives the input listed last, microphone or not.
        QVERIFY(server.setVolumes("source", "mic2", {8192, 8192})); // 0.125
        float value = -1.0f;
        QCOMPARE(SystemVolume().getMicVolume(value), 0);
        QVERIFY2(qAbs(value - 12.5f) < 0.01f, qPrintable(QString::number(value)));
    }

    // Last: the audio server goes away under the open window. The sliders
    // say so instead of showing a muted computer.
    void noAudioServerDisablesTheSliders()
    {
        QVERIFY(setSinks(40000));
        QTest::mouseClick(speaker(), Qt::LeftButton);
        QVERIFY(inspect->volumeSlider()->isEnabled());
        QVERIFY(inspect->volumeSlider()->toolTip().isEmpty());
        QTest::mouseClick(speaker(), Qt::LeftButton);
        server.stop();
        for (QPushButton* button : {speaker(), mic()}) {
            QTest::mouseClick(button, Qt::LeftButton);
            QSlider* slider = button == speaker() ? inspect->volumeSlider() : inspect->micSlider();
            QVERIFY(slider->isVisible() && !slider->isEnabled());
            QCOMPARE(slider->toolTip(), QStringLiteral("The audio system cannot be reached."));
            QVERIFY(!button->styleSheet().contains(QLatin1String("mute")));
        }
        float value = -1.0f;
        QVERIFY(SystemVolume().getMicVolume(value) < 0);
        QCOMPARE(value, 0.0f);
    }
};

QTEST_MAIN(tst_Volume)
#include "tst_volume.moc"
