#include "propertytransport.h"
#include "simulatedhub.h"
#include "simulatedpropertydevices.h"
#include "viscacamera.h"

#include <QTcpServer>
#include <QUdpSocket>
#include <QtTest>

// A real lumora-ctl agent with two simulated cameras, driven over the
// network by a controller written apart from the program
// (visca_client.py), so that both sides cannot share one misreading.
class TestVisca : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QProcess agent;
    QString log;

    bool told(const QString& text)
    {
        QElapsedTimer clock;
        clock.start();
        while (!log.contains(text) && clock.elapsed() < 30000 &&
               agent.state() == QProcess::Running) {
            agent.waitForReadyRead(100);
            log += agent.readAllStandardError();
        }
        return log.contains(text);
    }
    // A UDP port free now, with its TCP partner free as well.
    static quint16 freePort()
    {
        for (int tries = 0; tries < 50; ++tries) {
            QUdpSocket udp;
            QTcpServer tcp;
            if (udp.bind(QHostAddress(QHostAddress::LocalHost), 0) && udp.localPort() < 64000 &&
                tcp.listen(QHostAddress::LocalHost, udp.localPort() + 1000)) {
                return udp.localPort();
            }
        }
        return 0;
    }

private slots:
    void cleanup()
    {
        agent.kill();
        agent.waitForFinished();
    }
    void answersAControllerAndNoOneElse()
    {
        const quint16 port = freePort();
        QVERIFY(port != 0);
        agent.setEnvironment(QProcess::systemEnvironment() +
                             QStringList{"LUMORA_SIMULATED_CAMERAS=2",
                                         "LUMORA_SIMULATED_STATE_DIR=" + dir.path(),
                                         "LUMORA_SIMULATED_SCENE=one"});
        agent.start(
            QCoreApplication::applicationDirPath() + "/lumora-ctl",
            {"agent", QString("--visca=127.0.0.1:%1").arg(port), "--visca-allow=127.0.0.1"});
        QVERIFY(agent.waitForStarted());
        QVERIFY2(told(QString("VISCA: camera 1, Lumora Simulated Camera (sim:video1), on UDP "
                              "127.0.0.1:%1, TCP 127.0.0.1:%2")
                          .arg(port + 1)
                          .arg(port + 1001)),
                 qPrintable(log));

        QProcess client;
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.start("python3",
                     {VISCA_CLIENT, "--port", QString::number(port), "--state-dir", dir.path()});
        QVERIFY(client.waitForFinished(240000));
        const QByteArray output = client.readAll();
        QVERIFY2(client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0,
                 output.constData());
        QVERIFY2(told("VISCA: 127.0.0.2 is not on the allow-list; ignored"), qPrintable(log));
        QVERIFY2(told("auto framing off for sim:video0"), qPrintable(log));

        agent.terminate();
        QVERIFY(agent.waitForFinished(30000));
        QCOMPARE(agent.exitCode(), 0);
    }

    // A camera unplugged and plugged in again at its node between two looks
    // at the camera list: the next message reaches the camera now there, not
    // the binding of the one that left.
    void aCameraBackAtItsNodeAnswersAgain()
    {
        SimulatedPropertyDevices devices;
        PropertyDevices::setInstance(&devices);
        SimulatedHub& hub = SimulatedHub::instance();
        auto first = hub.plugCamera();
        ViscaCamera camera(hub.videoInputs().first(), {});
        QByteArray answer;
        const auto askPanTilt = [&] {
            camera.execute(Visca::parseMessage(QByteArray::fromHex("81090612ff")),
                           [&](const QByteArray& reply) { answer = reply; });
            return answer.toHex();
        };
        QVERIFY2(askPanTilt().startsWith("9050"), answer.toHex().constData());
        hub.unplug(first->deviceName());
        SimulatedCameraConfig config;
        config.deviceName = first->deviceName();
        auto back = hub.plugCamera(config);
        back->modifyState([](SimulatedCameraState& state) { state.pan = 90; });
        const QByteArray there = askPanTilt();
        QVERIFY2(there.startsWith("9050") &&
                     there != QByteArray("9050") + QByteArray(16, '0') + "ff",
                 there.constData());
        hub.reset();
        PropertyDevices::setInstance(nullptr);
    }

    void refusesAWrongAddress()
    {
        QProcess bad;
        bad.start(QCoreApplication::applicationDirPath() + "/lumora-ctl",
                  {"agent", "--visca=localhost:99999"});
        QVERIFY(bad.waitForFinished(30000));
        QCOMPARE(bad.exitCode(), 64);
        QVERIFY(bad.readAllStandardError().contains("--visca takes ADDRESS:PORT"));
    }
};

QTEST_GUILESS_MAIN(TestVisca)
#include "tst_visca.moc"
