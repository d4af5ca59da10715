#include "privatepulseserver.h"
#include "pulseaudioendpoints.h"

#include <QtTest>

#include <pulse/volume.h>

// The PulseAudio endpoint backend against a private server: what it lists,
// what it reads and what it writes, checked with the server's own tool.
class tst_PulseEndpoints : public QObject
{
    Q_OBJECT

private:
    using Flow = AudioEndpoints::Flow;
    PrivatePulseServer server;
    PulseAudioEndpoints endpoints;

    QList<AudioEndpointInfo> active(Flow flow)
    {
        QList<AudioEndpointInfo> found;
        const AudioEndpoints::Status status = endpoints.activeEndpoints(flow, &found);
        return status == AudioEndpoints::Status::Ok ? found : QList<AudioEndpointInfo>();
    }

    static QStringList ids(const QList<AudioEndpointInfo>& list)
    {
        QStringList result;
        for (const AudioEndpointInfo& endpoint : list) {
            result.append(endpoint.id);
        }
        return result;
    }

private slots:
    void initTestCase()
    {
        QString error;
        if (!server.start(&error)) {
            QSKIP(qPrintable(error));
        }
        QVERIFY(server.addNullSink(QStringLiteral("spk1"), QStringLiteral("Speakers")) >= 0);
        QVERIFY(server.addNullSink(QStringLiteral("spk2"), QStringLiteral("Desk Speakers")) >= 0);
        QVERIFY(server.addNullSource(QStringLiteral("mic1"), QStringLiteral("Front Microphone")) >=
                0);
        // A mono source, so that the channel count is the device's own.
        QVERIFY(server.loadModule(QStringLiteral("module-null-source"),
                                  {QStringLiteral("source_name=mono1"),
                                   QStringLiteral("description=Mono"), QStringLiteral("channels=1"),
                                   QStringLiteral("channel_map=mono")}) >= 0);
    }

    void cleanupTestCase() { server.stop(); }

    void listsSinksAndRealSourcesInOrder()
    {
        const QList<AudioEndpointInfo> sinks = active(Flow::Render);
        QCOMPARE(ids(sinks), (QStringList{"spk1", "spk2"}));
        // Null devices have no ports: the name is the description alone.
        QCOMPARE(sinks.at(1).friendlyName, QStringLiteral("Desk Speakers"));
        QCOMPARE(sinks.at(0).channelCount, 2);

        const QList<AudioEndpointInfo> sources = active(Flow::Capture);
        QCOMPARE(ids(sources), (QStringList{"mic1", "mono1"}));
        QCOMPARE(sources.at(0).friendlyName, QStringLiteral("Front Microphone"));
        QCOMPARE(sources.at(1).channelCount, 1);
    }

    void friendlyNameCarriesTheActivePort()
    {
        QCOMPARE(pulseFriendlyName("Microphone", "USB Camera Analog Stereo", "alsa_input.usb"),
                 QStringLiteral("Microphone (USB Camera Analog Stereo)"));
        QCOMPARE(pulseFriendlyName(nullptr, "Speakers", "spk1"), QStringLiteral("Speakers"));
        QCOMPARE(pulseFriendlyName("", "Speakers", "spk1"), QStringLiteral("Speakers"));
        QCOMPARE(pulseFriendlyName(nullptr, nullptr, "spk1"), QStringLiteral("spk1"));
        QCOMPARE(pulseFriendlyName("麦克风", "摄像头", "x"), QStringLiteral("麦克风 (摄像头)"));
    }

    void readsWhatTheServerHolds()
    {
        QVERIFY(server.setSinkVolumes(QStringLiteral("spk2"), {262, 262}));
        float scalar = -1.0f;
        QVERIFY(endpoints.masterVolume(Flow::Render, QStringLiteral("spk2"), &scalar));
        QCOMPARE(scalar, 0.004f);
        // The loudest channel is the master volume.
        QVERIFY(server.setSourceVolumes(QStringLiteral("mic1"), {16384, 49152}));
        QVERIFY(endpoints.masterVolume(Flow::Capture, QStringLiteral("mic1"), &scalar));
        QCOMPARE(scalar, 0.75f);
        QVERIFY(!endpoints.masterVolume(Flow::Render, QStringLiteral("nosuch"), &scalar));
        // A sink name is no source.
        QVERIFY(!endpoints.masterVolume(Flow::Capture, QStringLiteral("spk1"), &scalar));
    }

    void writesKeepTheBalance()
    {
        QVERIFY(server.setSourceVolumes(QStringLiteral("mic1"), {65536, 32768}));
        QVERIFY(endpoints.setMasterVolume(Flow::Capture, QStringLiteral("mic1"), 0.4f));
        const QList<quint32> volumes = server.sourceVolumes(QStringLiteral("mic1"));
        QCOMPARE(volumes.size(), 2);
        QCOMPARE(volumes.at(0), scalarToPulseVolume(0.4f));
        QVERIFY(qAbs(int(volumes.at(1)) - int(scalarToPulseVolume(0.2f))) <= 1);

        // From silence the channels come up together.
        QVERIFY(server.setSinkVolumes(QStringLiteral("spk1"), {0, 0}));
        QVERIFY(endpoints.setMasterVolume(Flow::Render, QStringLiteral("spk1"), 0.3f));
        QCOMPARE(server.sinkVolumes(QStringLiteral("spk1")),
                 (QList<quint32>{scalarToPulseVolume(0.3f), scalarToPulseVolume(0.3f)}));
        QVERIFY(!endpoints.setMasterVolume(Flow::Render, QStringLiteral("nosuch"), 0.3f));
    }

    void scalarsOutsideTheRangeArePinned()
    {
        QVERIFY(endpoints.setMasterVolume(Flow::Render, QStringLiteral("spk1"), 1.7f));
        QCOMPARE(server.sinkVolumes(QStringLiteral("spk1")),
                 (QList<quint32>{PA_VOLUME_NORM, PA_VOLUME_NORM}));
        QVERIFY(endpoints.setMasterVolume(Flow::Render, QStringLiteral("spk1"), -0.2f));
        QCOMPARE(server.sinkVolumes(QStringLiteral("spk1")), (QList<quint32>{0, 0}));
        QVERIFY(endpoints.setMasterVolume(Flow::Render, QStringLiteral("spk1"), qQNaN()));
        QCOMPARE(server.sinkVolumes(QStringLiteral("spk1")), (QList<quint32>{0, 0}));
    }

    void everyPercentReadsBackAsItself()
    {
        for (int percent = 0; percent <= 100; ++percent) {
            const float scalar = float(percent) / 100.0f;
            const float back = pulseVolumeToScalar(scalarToPulseVolume(scalar));
            QVERIFY2(qAbs(double(back) - percent / 100.0) < 1e-6,
                     qPrintable(QString::number(percent)));
        }
    }
};

QTEST_GUILESS_MAIN(tst_PulseEndpoints)
#include "tst_pulseendpoints.moc"
