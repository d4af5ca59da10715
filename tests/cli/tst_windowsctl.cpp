// lumora-ctl.exe as a Windows program (wine in CI), with a simulated
// camera: the choice of a capture mode, the agent's network servers
// spoken to over loopback as a controller and a script would, and the
// agent as the login starts it (lumora-agent.exe, without a console).
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkDatagram>
#include <QNetworkReply>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtEndian>
#include <QtTest>

namespace {

// The Subsystem field of a program's PE optional header: 2 for a window
// program, 3 for a console one, which Windows gives a console window.
int subsystem(const QString& program)
{
    QFile file(program);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
    const int pe = head.size() >= 64 ? qFromLittleEndian<qint32>(head.constData() + 0x3c) : -1;
    if (pe <= 0 || pe + 24 + 70 > head.size() || head.mid(pe, 4) != QByteArray("PE\0\0", 4))
        return -1;
    return qFromLittleEndian<quint16>(head.constData() + pe + 24 + 68);
}

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

} // namespace

class TestWindowsCtl : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QStringList environment =
        QProcess::systemEnvironment() +
        QStringList{"LUMORA_SIMULATED_CAMERAS=1", "LUMORA_API_TOKEN=wine-token"};
    QString ctl = QCoreApplication::applicationDirPath() + "/lumora-ctl.exe";

    QPair<int, QString> run(const QStringList& arguments)
    {
        QProcess process;
        process.setEnvironment(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(ctl, arguments);
        process.waitForFinished(120000);
        return {process.exitCode(), QString::fromUtf8(process.readAll())};
    }
    int get(const QString& path, const QByteArray& token, QByteArray* body, quint16 port)
    {
        QNetworkAccessManager network;
        QNetworkRequest request(QUrl(QString("http://127.0.0.1:%1/api/v1/%2").arg(port).arg(path)));
        if (!token.isEmpty())
            request.setRawHeader("Authorization", "Bearer " + token);
        QNetworkReply* reply = network.get(request);
        QSignalSpy(reply, &QNetworkReply::finished).wait(60000);
        *body = reply->readAll();
        reply->deleteLater();
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    }

private slots:
    void choosesAListedMode()
    {
        QVERIFY(run({"modes", "0"}).second.contains("1920x1080@60 mjpeg"));
        const QString file = dir.filePath("wide.png");
        const auto [taken, said] = run({"snapshot", "0", file, "--mode", "1920x1080@60/mjpeg"});
        QVERIFY2(taken == 0, qPrintable(said));
        QCOMPARE(QImage(file).size(), QSize(1920, 1080));
        const auto [refused, why] = run({"snapshot", "0", file, "--mode", "800x600@30"});
        QCOMPARE(refused, 1);
        QVERIFY2(why.contains("3840x2160@30"), qPrintable(why));
    }

    void servesViscaAndHttpOverLoopback()
    {
        QUdpSocket controller, udp;
        QTcpServer tcp, probe;
        QVERIFY(controller.bind(QHostAddress(QHostAddress::LocalHost)) &&
                probe.listen(QHostAddress::LocalHost));
        quint16 visca = 0; // a UDP port free now, and its TCP partner 1000 above
        for (int tries = 0; tries < 50 && !visca; ++tries)
            if (udp.bind(QHostAddress(QHostAddress::LocalHost)) && udp.localPort() < 64000 &&
                tcp.listen(QHostAddress::LocalHost, udp.localPort() + 1000))
                visca = udp.localPort();
        const quint16 http = probe.serverPort();
        QVERIFY(visca != 0);
        udp.close(), tcp.close(), probe.close();
        QProcess agent;
        agent.setEnvironment(environment);
        agent.setReadChannel(QProcess::StandardError);
        agent.start(ctl, {"agent", QString("--visca=127.0.0.1:%1").arg(visca),
                          QString("--http=127.0.0.1:%1").arg(http)});
        QString log;
        while (!log.contains("VISCA: camera 0,") && agent.waitForReadyRead(60000))
            log += agent.readAllStandardError();
        QVERIFY2(log.contains("HTTP API listening on"), qPrintable(log));

        // An absolute move (pan 0x3210, tilt -0x124): an ACK, the
        // completion, and the camera's own position follows.
        const QByteArray move =
            QByteArray::fromHex("0100000f00000001810106021817030201000f0e0d0cff");
        QCOMPARE(controller.writeDatagram(move, QHostAddress::LocalHost, visca), move.size());
        QByteArray replies;
        while (replies.size() < 22 && controller.waitForReadyRead(60000))
            replies += controller.receiveDatagram().data();
        QCOMPARE(replies.toHex(), QByteArray("01110003000000019041ff01110003000000019051ff"));
        QByteArray body;
        QCOMPARE(get("cameras/0/controls", "wine-token", &body, http), 200);
        const QJsonObject controls =
            QJsonDocument::fromJson(body)["cameras"][0]["controls"].toObject();
        QVERIFY2(controls["pan"].toInt() > 0 && controls["tilt"].toInt() < 0, body.constData());

        QCOMPARE(get("cameras", "wine-token", &body, http), 200);
        QVERIFY2(body.contains("Lumora Simulated Camera"), body.constData());
        QCOMPARE(get("cameras", {}, &body, http), 401);
        agent.kill();
        agent.waitForFinished();
    }

    // The login's launcher: a window program that runs the agent, whose
    // log goes to the user's local application data, and whose end takes
    // the agent down with it.
    void theLoginLauncherRunsTheAgentWithoutAConsole()
    {
        const QString launcher = QCoreApplication::applicationDirPath() + "/lumora-agent.exe";
        QCOMPARE(subsystem(launcher), 2);
        QCOMPARE(subsystem(ctl), 3);
        QFile log(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                  "/Lumora/agent.log");
        const qint64 before = log.exists() ? log.size() : 0;
        const auto logged = [&log, before] {
            if (!log.open(QIODevice::ReadOnly))
                return QByteArray();
            log.seek(before);
            const QByteArray text = log.readAll();
            log.close();
            return text;
        };
        const quint16 http = freePort();
        QVERIFY(http != 0);
        QProcess agent;
        agent.setEnvironment(environment);
        agent.start(launcher, {QString("--http=127.0.0.1:%1").arg(http)});
        QVERIFY(agent.waitForStarted());
        QTRY_VERIFY2_WITH_TIMEOUT(logged().contains("agent started"), logged().constData(), 60000);
        QVERIFY(logged().contains("HTTP API listening on http://127.0.0.1:"));
        QByteArray body;
        QCOMPARE(get("cameras", "wine-token", &body, http), 200);
        QVERIFY2(body.contains("Lumora Simulated Camera"), body.constData());
        QVERIFY(agent.readAll().isEmpty()); // everything went to the log

        agent.kill();
        QVERIFY(agent.waitForFinished());
        // The agent gone with it: nothing answers on its port.
        const auto answers = [http] {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, http);
            return socket.waitForConnected(5000);
        };
        QTRY_VERIFY_WITH_TIMEOUT(!answers(), 30000);
    }
};

QTEST_GUILESS_MAIN(TestWindowsCtl)
#include "tst_windowsctl.moc"
