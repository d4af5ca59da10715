#include "devicecatalog.h"
#include "privatepulseserver.h"
#include "pulseaudioendpoints.h"
#include "pulsesourcelist.h"

#include <QtTest>

// The audio inputs of the device catalog, read from a private PulseAudio
// server while modules come and go and the server dies, hangs and returns.
class tst_PulseSources : public QObject
{
    Q_OBJECT

private:
    PrivatePulseServer server;

    static AudioInputList sources() { return PulseSourceList::instance().sources(); }

    static bool lists(const QString& description, const QString& name)
    {
        return sources().contains(AudioInputInfo(description, name));
    }

    // The server's own order of its non-monitor sources, by index.
    QStringList serverOrder() const
    {
        QByteArray output;
        if (!server.pactl(
                {QStringLiteral("list"), QStringLiteral("sources"), QStringLiteral("short")},
                &output)) {
            return {};
        }
        QStringList names;
        for (const QByteArray& line : output.split('\n')) {
            const QList<QByteArray> fields = line.split('\t');
            if (fields.size() > 1 && !fields.at(1).endsWith(".monitor")) {
                names.append(QString::fromUtf8(fields.at(1)));
            }
        }
        return names;
    }

    static QStringList listedOrder()
    {
        QStringList names;
        for (const AudioInputInfo& input : sources()) {
            names.append(input.systemId());
        }
        return names;
    }

private slots:
    void initTestCase()
    {
        QString error;
        if (!server.start(&error)) {
            QSKIP(qPrintable(error));
        }
        QVERIFY(server.addNullSink(QStringLiteral("spk1"), QStringLiteral("Speakers")) >= 0);
        QVERIFY(server.addNullSource(QStringLiteral("mic1"), QStringLiteral("Mic")) >= 0);
    }

    void cleanupTestCase() { server.stop(); }

    void listsRealSourcesWithoutMonitors()
    {
        QTRY_VERIFY_WITH_TIMEOUT(lists(QStringLiteral("Mic"), QStringLiteral("mic1")), 5000);
        for (const AudioInputInfo& input : sources()) {
            QVERIFY2(!input.systemId().endsWith(QLatin1String(".monitor")),
                     qPrintable(input.systemId()));
            QVERIFY(input.deviceName() != QLatin1String("Monitor of Speakers"));
        }
        // The catalog the discovery pass reads is this list.
        QCOMPARE(DeviceCatalog::instance().audioInputs(), sources());
    }

    void followsModulesInTheServersOrder()
    {
        const int camera =
            server.addNullSource(QStringLiteral("cam1"), QStringLiteral("USB Camera Analog Mono"));
        const int headset =
            server.addNullSource(QStringLiteral("head1"), QStringLiteral("Headset 麦克风"));
        // A second sink brings a second monitor, which must stay out.
        const int sink = server.addNullSink(QStringLiteral("spk2"), QStringLiteral("Desk"));
        QVERIFY(camera >= 0 && headset >= 0 && sink >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(lists(QStringLiteral("Headset 麦克风"), QStringLiteral("head1")),
                                 5000);
        QVERIFY(lists(QStringLiteral("USB Camera Analog Mono"), QStringLiteral("cam1")));
        QCOMPARE(listedOrder(), serverOrder());
        QCOMPARE(listedOrder().mid(0, 3), (QStringList{"mic1", "cam1", "head1"}));

        QVERIFY(server.unloadModule(camera));
        QTRY_VERIFY_WITH_TIMEOUT(
            !lists(QStringLiteral("USB Camera Analog Mono"), QStringLiteral("cam1")), 5000);
        QCOMPARE(listedOrder(), serverOrder());
        QVERIFY(server.unloadModule(headset));
        QVERIFY(server.unloadModule(sink));
        QTRY_COMPARE_WITH_TIMEOUT(listedOrder(), QStringList{QStringLiteral("mic1")}, 5000);
    }

    void hungServerDoesNotHoldTheCaller()
    {
        QTRY_VERIFY_WITH_TIMEOUT(lists(QStringLiteral("Mic"), QStringLiteral("mic1")), 5000);
        server.pause();
        // The list comes from the cache; the endpoint request gives up after
        // its time-out instead of waiting for the frozen server.
        QVERIFY(lists(QStringLiteral("Mic"), QStringLiteral("mic1")));
        PulseAudioEndpoints endpoints;
        QList<AudioEndpointInfo> found;
        QVERIFY(endpoints.activeEndpoints(AudioEndpoints::Flow::Capture, &found) !=
                AudioEndpoints::Status::Ok);
        QVERIFY(found.isEmpty());
        // Dropped after the time-out: the next call fails without waiting.
        QCOMPARE(endpoints.activeEndpoints(AudioEndpoints::Flow::Capture, &found),
                 AudioEndpoints::Status::Unavailable);
        QVERIFY(sources().isEmpty());
        server.resume();
        QTRY_VERIFY_WITH_TIMEOUT(lists(QStringLiteral("Mic"), QStringLiteral("mic1")), 15000);
        QCOMPARE(endpoints.activeEndpoints(AudioEndpoints::Flow::Capture, &found),
                 AudioEndpoints::Status::Ok);
    }

    void deadServerGivesEmptyListThenReconnects()
    {
        QTRY_VERIFY_WITH_TIMEOUT(lists(QStringLiteral("Mic"), QStringLiteral("mic1")), 5000);
        server.stop();
        QTRY_VERIFY_WITH_TIMEOUT(sources().isEmpty(), 5000);
        PulseAudioEndpoints endpoints;
        QList<AudioEndpointInfo> found;
        QCOMPARE(endpoints.activeEndpoints(AudioEndpoints::Flow::Render, &found),
                 AudioEndpoints::Status::Unavailable);
        float scalar = -1.0f;
        QVERIFY(
            !endpoints.masterVolume(AudioEndpoints::Flow::Render, QStringLiteral("spk1"), &scalar));
        QCOMPARE(scalar, -1.0f);

        // A new server on the same address is found again without a restart
        // of the program; it has only what it is given.
        QString error;
        QVERIFY2(server.start(&error), qPrintable(error));
        QVERIFY(server.addNullSource(QStringLiteral("back1"), QStringLiteral("Back Again")) >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(lists(QStringLiteral("Back Again"), QStringLiteral("back1")),
                                 15000);
        QVERIFY(!lists(QStringLiteral("Mic"), QStringLiteral("mic1")));
    }
};

QTEST_GUILESS_MAIN(tst_PulseSources)
#include "tst_pulsesources.moc"
