// The PulseAudio side against a private server: the audio inputs of the
// device catalog while modules come and go and the server hangs, dies and
// returns, and the endpoint backend's volumes, checked with pactl.

#include "devicecatalog.h"
#include "privatepulseserver.h"
#include "pulseaudioendpoints.h"
#include "pulsesourcelist.h"

#include <QtTest>

namespace {

using Flow = AudioEndpoints::Flow;

QStringList listed()
{
    QStringList names;
    for (const AudioInputInfo& input : PulseSourceList::instance().sources()) {
        names.append(input.systemId() + '=' + input.deviceName());
    }
    return names;
}

QStringList ids(PulseAudioEndpoints& endpoints, Flow flow)
{
    QList<AudioEndpointInfo> found;
    QStringList result;
    if (endpoints.activeEndpoints(flow, &found) == AudioEndpoints::Status::Ok) {
        for (const AudioEndpointInfo& endpoint : found) {
            result.append(endpoint.id + '=' + endpoint.friendlyName + '/' +
                          QString::number(endpoint.channelCount));
        }
    }
    return result;
}

} // namespace

class tst_Pulse : public QObject
{
    Q_OBJECT

private:
    PrivatePulseServer server;
    PulseAudioEndpoints endpoints;

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        QVERIFY(server.addNullSink("spk1", "Speakers") >= 0);
        QVERIFY(server.addNullSource("mic1", "Mic") >= 0);
    }

    void cleanupTestCase() { server.stop(); }

    void sourcesFollowTheServerWithoutMonitors()
    {
        QTRY_COMPARE_WITH_TIMEOUT(listed(), QStringList{"mic1=Mic"}, 30000);
        QCOMPARE(DeviceCatalog::instance().audioInputs(), PulseSourceList::instance().sources());
        const int camera = server.addNullSource("cam1", "USB Camera Analog Mono");
        const int mono = server.loadModule("module-null-source",
                                           {"source_name=mono1", "description='Headset 麦克风'",
                                            "channels=1", "channel_map=mono"});
        const int sink = server.addNullSink("spk2", "Desk"); // its monitor stays out
        QVERIFY(camera >= 0 && mono >= 0 && sink >= 0);
        const QStringList all = {"mic1=Mic", "cam1=USB Camera Analog Mono", "mono1=Headset 麦克风"};
        QTRY_COMPARE_WITH_TIMEOUT(listed(), all, 30000);
        // The endpoint backend lists the same, with names and channels.
        QCOMPARE(ids(endpoints, Flow::Render), QStringList({"spk1=Speakers/2", "spk2=Desk/2"}));
        QCOMPARE(
            ids(endpoints, Flow::Capture),
            QStringList({"mic1=Mic/2", "cam1=USB Camera Analog Mono/2", "mono1=Headset 麦克风/1"}));
        QVERIFY(server.unloadModule(camera));
        QTRY_COMPARE_WITH_TIMEOUT(listed(), QStringList({all[0], all[2]}), 30000);
        QVERIFY(server.unloadModule(sink));
        QCOMPARE(pulseFriendlyName("Microphone", "USB Camera", "x"), "Microphone (USB Camera)");
    }

    void everyPercentReadsBackAsItself()
    {
        for (int percent = 0; percent <= 100; ++percent) {
            const float back = pulseVolumeToScalar(scalarToPulseVolume(percent / 100.0f));
            QVERIFY2(qAbs(double(back) - percent / 100.0) < 1e-6,
                     qPrintable(QString::number(percent)));
        }
    }

    void hungServerDoesNotHoldTheCaller()
    {
        QTRY_VERIFY_WITH_TIMEOUT(listed().contains("mic1=Mic"), 30000);
        server.pause();
        // The list comes from the cache; the endpoint request gives up after
        // its time-out instead of waiting for the frozen server, and the
        // next one fails without waiting at all.
        QVERIFY(listed().contains("mic1=Mic"));
        PulseAudioEndpoints hung;
        QList<AudioEndpointInfo> found;
        QVERIFY(hung.activeEndpoints(Flow::Capture, &found) != AudioEndpoints::Status::Ok);
        QVERIFY(found.isEmpty());
        QCOMPARE(hung.activeEndpoints(Flow::Capture, &found), AudioEndpoints::Status::Unavailable);
        server.resume();
        QTRY_VERIFY_WITH_TIMEOUT(listed().contains("mic1=Mic"), 30000);
        QTRY_VERIFY_WITH_TIMEOUT(!ids(hung, Flow::Capture).isEmpty(), 30000);
    }
};

QTEST_GUILESS_MAIN(tst_Pulse)
#include "tst_pulse.moc"
