#include "privatepulseserver.h"
#include "systemvolume.h"

#include <QtTest>

#include <cstdio>
#include <unistd.h>

// The four volume operations against a private PulseAudio server: every
// endpoint written, the last one read, the limits and the microphone rule,
// each checked with the server's own tool.
class tst_VolumeOps : public QObject
{
    Q_OBJECT

private:
    PrivatePulseServer server;
    SystemVolume volume;

    // What the operations print to standard output while fn runs.
    template <typename Fn> static QByteArray standardOutput(Fn fn)
    {
        std::fflush(stdout);
        QTemporaryFile file;
        if (!file.open()) {
            return "<no capture file>";
        }
        const int saved = ::dup(STDOUT_FILENO);
        ::dup2(file.handle(), STDOUT_FILENO);
        fn();
        std::fflush(stdout);
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        file.seek(0);
        return file.readAll();
    }

    bool setAllSinks(quint32 raw)
    {
        return server.setSinkVolumes(QStringLiteral("spk1"), {raw, raw}) &&
               server.setSinkVolumes(QStringLiteral("spk2"), {raw, raw});
    }

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
        QVERIFY(server.addNullSource(QStringLiteral("mic1"), QStringLiteral("Front Microphone")) >=
                0);
        QVERIFY(server.addNullSource(QStringLiteral("mic2"),
                                     QStringLiteral("麦克风 (USB Camera)")) >= 0);
        QVERIFY(server.addNullSource(QStringLiteral("mic3"),
                                     QStringLiteral("HEADSET MICROPHONE")) >= 0);
    }

    void cleanupTestCase() { server.stop(); }

    void speakerWriteReachesEveryPlaybackDevice()
    {
        QVERIFY(setAllSinks(65536));
        volume.setSpeakerVolume(30.0f);
        QCOMPARE(server.sinkVolumes(QStringLiteral("spk1")), (QList<quint32>{19661, 19661}));
        QCOMPARE(server.sinkVolumes(QStringLiteral("spk2")), (QList<quint32>{19661, 19661}));
        QVERIFY(qAbs(server.sinkScalar(QStringLiteral("spk1")) - 0.30) < 0.0001);
    }

    void speakerReadGivesTheLastDevice()
    {
        QVERIFY(server.setSinkVolumes(QStringLiteral("spk1"), {13107, 13107})); // 0.20
        QVERIFY(server.setSinkVolumes(QStringLiteral("spk2"), {45875, 45875})); // 0.70
        float value = -1.0f;
        volume.getSpeakerVolume(value);
        QVERIFY2(qAbs(value - 70.0f) < 0.01f, qPrintable(QString::number(value)));
    }

    void speakerLimits_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<quint32>("raw");
        QTest::newRow("below zero") << -5.0f << 0u;
        QTest::newRow("above 100") << 150.0f << 65536u;
        // Whole part 100: passes the whole-value test, still pinned.
        QTest::newRow("100.5") << 100.5f << 65536u;
        QTest::newRow("-0.5") << -0.5f << 0u;
        QTest::newRow("zero") << 0.0f << 0u;
        QTest::newRow("full") << 100.0f << 65536u;
    }

    void speakerLimits()
    {
        QFETCH(float, value);
        QFETCH(quint32, raw);
        QVERIFY(setAllSinks(30000));
        volume.setSpeakerVolume(value);
        QCOMPARE(server.sinkVolumes(QStringLiteral("spk1")), (QList<quint32>{raw, raw}));
        QCOMPARE(server.sinkVolumes(QStringLiteral("spk2")), (QList<quint32>{raw, raw}));
    }

    void microphoneWriteSparesOtherInputs()
    {
        for (const char* name : {"line1", "mic1", "mic2", "mic3"}) {
            QVERIFY(server.setSourceVolumes(QString::fromLatin1(name), {65536, 65536}));
        }
        volume.setMicVolume(45.0f);
        QCOMPARE(server.sourceVolumes(QStringLiteral("line1")), (QList<quint32>{65536, 65536}));
        for (const char* name : {"mic1", "mic2", "mic3"}) {
            QVERIFY2(qAbs(server.sourceScalar(QString::fromLatin1(name)) - 0.45) < 0.0001, name);
        }
    }

    void microphoneReadGivesTheLastInput()
    {
        // The last input counts, microphone or not.
        QVERIFY(server.setSourceVolumes(QStringLiteral("mic3"), {8192, 8192})); // 0.125
        float value = -1.0f;
        QCOMPARE(volume.getMicVolume(value), 0);
        QVERIFY2(qAbs(value - 12.5f) < 0.01f, qPrintable(QString::number(value)));
    }

    void microphoneNames()
    {
        QVERIFY(isMicrophoneName(QStringLiteral("麦克风 (USB Camera)")));
        QVERIFY(isMicrophoneName(QStringLiteral("Microphone (USB Camera)")));
        QVERIFY(isMicrophoneName(QStringLiteral("usb microphone")));
        QVERIFY(!isMicrophoneName(QStringLiteral("Mic")));
        QVERIFY(!isMicrophoneName(QStringLiteral("Line In")));
        QVERIFY(!isMicrophoneName(QString()));
    }

    void everySliderPositionReadsBackAsItself()
    {
        for (int position = 0; position <= 100; ++position) {
            volume.setSpeakerVolume(float(position));
            float value = -1.0f;
            volume.getSpeakerVolume(value);
            QVERIFY2(int(value) == position,
                     qPrintable(QStringLiteral("%1 read as %2").arg(position).arg(value)));
        }
    }

    void smallVolumeIsNotZero()
    {
        QVERIFY(setAllSinks(262)); // 0.004
        float value = -1.0f;
        volume.getSpeakerVolume(value);
        QVERIFY2(value > 0.3f && value < 0.5f, qPrintable(QString::number(value)));
    }

    // Last: the server goes away.
    void noAudioSystemReadsZero()
    {
        server.stop();
        float speaker = -1.0f;
        float mic = -1.0f;
        const QByteArray printed = standardOutput([&] {
            volume.getSpeakerVolume(speaker);
            QVERIFY(volume.getMicVolume(mic) < 0);
            volume.setSpeakerVolume(50.0f);
            volume.setMicVolume(50.0f);
        });
        QCOMPARE(speaker, 0.0f);
        QCOMPARE(mic, 0.0f);
        QCOMPARE(printed, QByteArray("CoCreateInstance Failed!/n").repeated(4));
    }
};

QTEST_GUILESS_MAIN(tst_VolumeOps)
#include "tst_volumeops.moc"
