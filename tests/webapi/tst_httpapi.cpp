#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>
#include <QtTest>

#include <csignal>

// A real lumora-ctl agent --http with two simulated cameras, spoken to as
// a script and a dashboard would: HTTP requests and the events' WebSocket.
class TestHttpApi : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QProcess agent;
    QString log, base;
    QNetworkAccessManager network;
    QWebSocket events;
    QStringList messages;

    struct Answer
    {
        int status;
        QJsonObject json;
        QByteArray body;
    };
    const Answer call(const QByteArray& method, const QString& path, const QByteArray& body = {},
                      const QByteArray& token = "test-token", const QByteArray& origin = {})
    {
        QNetworkRequest request(QUrl(base + path));
        if (!token.isEmpty())
            request.setRawHeader("Authorization", "Bearer " + token);
        if (!origin.isEmpty())
            request.setRawHeader("Origin", origin);
        QNetworkReply* reply = network.sendCustomRequest(request, method, body);
        QSignalSpy done(reply, &QNetworkReply::finished);
        done.wait(30000);
        const QByteArray text = reply->readAll();
        reply->deleteLater();
        return {reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                QJsonDocument::fromJson(text).object(), text};
    }
    QJsonObject state(int camera) const
    {
        QFile file(dir.filePath(QString("SIM000%1.json").arg(camera + 1)));
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                              : QJsonObject();
    }
    // What another program would do to the camera.
    bool changeState(int camera, const QString& key, const QJsonValue& value) const
    {
        QJsonObject json = state(camera);
        json[key] = value;
        QSaveFile file(dir.filePath(QString("SIM000%1.json").arg(camera + 1)));
        return file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(json).toJson()) > 0 &&
               file.commit();
    }
    bool heard(const QString& text)
    {
        QElapsedTimer clock;
        clock.start();
        while (!messages.join('\n').contains(text) && clock.elapsed() < 30000)
            QSignalSpy(&events, &QWebSocket::textMessageReceived).wait(1000);
        return messages.join('\n').contains(text);
    }

private slots:
    void initTestCase()
    {
        QTcpServer probe; // a free port, let go for the agent
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        base = QString("http://127.0.0.1:%1").arg(port);
        agent.setEnvironment(
            QProcess::systemEnvironment() +
            QStringList{"LUMORA_SIMULATED_CAMERAS=2", "LUMORA_SIMULATED_STATE_DIR=" + dir.path(),
                        "LUMORA_API_TOKEN=test-token", "LUMORA_SIMULATED_SCENE=one"});
        agent.setReadChannel(QProcess::StandardError);
        agent.start(QCoreApplication::applicationDirPath() + "/lumora-ctl",
                    {"agent", QString("--http=127.0.0.1:%1").arg(port)});
        while (!log.contains("agent started") && agent.waitForReadyRead(30000))
            log += agent.readAllStandardError();
        QVERIFY2(log.contains("HTTP API listening on " + base), qPrintable(log));
        connect(&events, &QWebSocket::textMessageReceived, this,
                [this](const QString& text) { messages << text; });
    }
    void cleanupTestCase()
    {
        ::kill(pid_t(agent.processId()), SIGTERM);
        QVERIFY(agent.waitForFinished(30000));
        QCOMPARE(agent.exitCode(), 0);
    }

    void makesTheTokenOnceAndKeepsIt()
    {
        QByteArray shown[2];
        for (QByteArray& token : shown) {
            QProcess ctl;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.remove("LUMORA_API_TOKEN");
            ctl.setProcessEnvironment(environment);
            ctl.start(QCoreApplication::applicationDirPath() + "/lumora-ctl",
                      {"agent", "--show-token"});
            QVERIFY(ctl.waitForFinished(30000) && ctl.exitCode() == 0);
            token = ctl.readAllStandardOutput().trimmed();
        }
        QCOMPARE(shown[0].size(), 64);
        QCOMPARE(shown[1], shown[0]);
        // Kept where only the user can read it.
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                QFileDevice::ReadOther | QFileDevice::WriteOther;
        QCOMPARE(QFile::permissions(QSettings("Lumora", "Lumora").fileName()) & others,
                 QFileDevice::Permissions());
    }
    void refusesWithoutTheTokenOrFromOtherOrigins()
    {
        QCOMPARE(call("GET", "/api/v1/cameras", {}, {}).status, 401);
        QCOMPARE(call("GET", "/api/v1/cameras", {}, "test-tokem").status, 401);
        QCOMPARE(call("GET", "/metrics", {}, "test").status, 401);
        QCOMPARE(call("GET", "/api/v1/cameras", {}, "test-token", "http://example.org").status,
                 403);
        const Answer cameras = call("GET", "/api/v1/cameras");
        QCOMPARE(cameras.status, 200);
        QCOMPARE(cameras.json["cameras"].toArray().size(), 2);
        QCOMPARE(call("GET", "/api/v1/cameras/7/controls").status, 404);
        QCOMPARE(call("DELETE", "/api/v1/cameras/0/controls").status, 405);
        QCOMPARE(call("PUT", "/api/v1/cameras/0/controls", QByteArray(100000, ' ')).status, 413);
    }

    void aHalfSentRequestHoldsUpNoOther()
    {
        QTcpSocket stalled;
        stalled.connectToHost(QHostAddress::LocalHost, QUrl(base).port());
        QVERIFY(stalled.waitForConnected(30000));
        stalled.write("GET /api/v1/cameras HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        QVERIFY(stalled.waitForBytesWritten(30000));
        QCOMPARE(call("GET", "/api/v1/cameras").status, 200);
        // Answered while the half-sent one is still held, not after its time ran out.
        QCOMPARE(stalled.state(), QAbstractSocket::ConnectedState);
    }
    void putControlsChangesTheCameraAndTellsTheEvents()
    {
        QNetworkRequest request(QUrl(QString(base).replace("http:", "ws:") + "/api/v1/events"));
        request.setRawHeader("Authorization", "Bearer test-token");
        events.open(request);
        QSignalSpy connected(&events, &QWebSocket::connected);
        QVERIFY(connected.wait(30000));

        const Answer put =
            call("PUT", "/api/v1/cameras/0/controls", R"({"controls":{"contrast":40}})");
        QCOMPARE(put.status, 200);
        QCOMPARE(put.json["cameras"][0]["controls"]["contrast"].toInt(), 40);
        QTRY_COMPARE_WITH_TIMEOUT(state(0)["contrast"].toInt(), 40, 30000);
        QVERIFY2(heard(R"("controls":{"contrast":40})"), qPrintable(messages.join('\n')));
        // Another program's change is told as well, the API's own is not.
        QVERIFY(changeState(0, "contrast", 55));
        QVERIFY2(heard(R"("by":"elsewhere","controls":{"contrast":55})"),
                 qPrintable(messages.join('\n')));
        QVERIFY(!messages.join('\n').contains(R"("by":"elsewhere","controls":{"contrast":40})"));
        QCOMPARE(
            call("GET", "/api/v1/cameras/0/controls").json["cameras"][0]["controls"]["contrast"],
            55);
        QCOMPARE(
            call("PUT", "/api/v1/cameras/0/controls", R"({"controls":{"contrast":"x"}})").status,
            400);
    }

    void movesAndStops()
    {
        QCOMPARE(call("POST", "/api/v1/cameras/0/move", R"({"pan":1})").status, 200);
        QTRY_VERIFY_WITH_TIMEOUT(state(0)["panSpeed"].toInt() > 0, 30000);
        QCOMPARE(call("POST", "/api/v1/cameras/0/move", R"({"stop":true})").status, 200);
        QTRY_COMPARE_WITH_TIMEOUT(state(0)["panSpeed"].toInt(), 0, 30000);
    }

    void givesASnapshot()
    {
        const Answer picture = call("GET", "/api/v1/cameras/0/snapshot.jpg");
        QCOMPARE(picture.status, 200);
        QVERIFY(QImage::fromData(picture.body, "JPEG").width() > 0);
    }
    void savesAndRecallsPresets()
    {
        QCOMPARE(call("PUT", "/api/v1/cameras/1/controls", R"({"controls":{"pan":20}})").status,
                 200);
        QCOMPARE(call("POST", "/api/v1/cameras/1/presets/3/save").status, 200);
        QCOMPARE(call("PUT", "/api/v1/cameras/1/controls", R"({"controls":{"pan":-20}})").status,
                 200);
        const Answer recall = call("POST", "/api/v1/cameras/1/presets/3/recall");
        QCOMPARE(recall.status, 200);
        QCOMPARE(recall.json["cameras"][0]["position"]["pan"].toInt(), 20);
        QTRY_COMPARE_WITH_TIMEOUT(state(1)["pan"].toInt(), 20, 30000);
        QCOMPARE(call("POST", "/api/v1/cameras/1/presets/4/recall").status, 400);
    }

    void framesACameraAndTellsIt()
    {
        const QString framing = "/api/v1/cameras/0/framing";
        QCOMPARE(call("POST", framing, R"({"on":"yes"})").status, 400);
        const int pan = state(0)["pan"].toInt();
        const Answer on = call("POST", framing, R"({"on":true})");
        QVERIFY2(on.status == 200, on.body.constData());
        QVERIFY(call("GET", "/api/v1/cameras").json["cameras"][0]["framing"].toBool());
        QVERIFY(heard(R"("event":"framing","on":true)"));
        // Someone stands right of centre: framing turns the camera right.
        QVERIFY2(heard("\"what\":\"pan right"), qPrintable(messages.join('\n')));
        QTRY_VERIFY_WITH_TIMEOUT(state(0)["pan"].toInt() > pan, 30000);
        // The agent holds the stream: the snapshot is the framing's picture.
        QVERIFY(QImage::fromData(call("GET", "/api/v1/cameras/0/snapshot.jpg").body).width() > 0);
        QCOMPARE(call("POST", framing, R"({"on":false})").status, 200);
        QVERIFY(heard(R"("event":"framing","on":false)"));
        QVERIFY(!call("GET", "/api/v1/cameras").json["cameras"][0]["framing"].toBool());
    }
    void theWebRemoteDrivesTheCameraInChromium() // ctest tst_webremote
    {
        if (!QCoreApplication::arguments().contains(QTest::currentTestFunction()))
            QSKIP("run by itself as tst_webremote");
        if (QStandardPaths::findExecutable("chromium").isEmpty() ||
            QProcess::execute("/usr/bin/python3", {"-c", "import websocket"}) != 0)
            QSKIP("SKIPPED: needs Debian's chromium and python3-websocket (scripts/setup.sh)");
        QProcess browser;
        browser.setProcessChannelMode(QProcess::MergedChannels);
        browser.start("/usr/bin/python3",
                      {WEBREMOTE_CDP, "--port", QString::number(QUrl(base).port()), "--token",
                       "test-token", "--state-dir", dir.path(), "--screenshot",
                       QCoreApplication::applicationDirPath() + "/web-remote.png"});
        QVERIFY(browser.waitForFinished(240000));
        QVERIFY2(browser.exitCode() == 0, browser.readAll().constData());
    }

    void tellsAnUnpluggedCameraAndItsMetrics()
    {
        QVERIFY(changeState(1, "plugged", false));
        QVERIFY2(heard(R"("event":"unplugged")"), qPrintable(messages.join('\n')));

        const Answer metrics = call("GET", "/metrics");
        QCOMPARE(metrics.status, 200);
        QVERIFY2(metrics.body.contains("lumora_camera_up{camera=\"1d6b:4c55 serial SIM0002\"} 0\n"),
                 metrics.body.constData());
        QVERIFY(metrics.body.contains("serial=\"SIM0001\""));
        QVERIFY(metrics.body.contains(
            "lumora_agent_requests_total{protocol=\"http\",result=\"unauthorized\"} 3\n"));
        if (QStandardPaths::findExecutable("promtool").isEmpty())
            QSKIP("promtool (Debian's prometheus package) is missing: the page is not checked");
        QProcess promtool;
        promtool.start("promtool", {"check", "metrics"});
        promtool.write(metrics.body);
        promtool.closeWriteChannel();
        QVERIFY(promtool.waitForFinished(60000));
        QVERIFY2(promtool.exitCode() == 0, promtool.readAllStandardError().constData());
    }
    void holdsItsLimitsAgainstRealClients()
    {
        QProcess client; // one WebSocket client (events) is open here
        client.setProcessChannelMode(QProcess::MergedChannels);
        client.start("python3", {LIMITS_CLIENT, "--port", QString::number(QUrl(base).port()),
                                 "--token", "test-token", "--events-open", "1"});
        QVERIFY(client.waitForFinished(240000));
        QVERIFY2(client.exitCode() == 0, client.readAll().constData());
    }
};

QTEST_GUILESS_MAIN(TestHttpApi)
#include "tst_httpapi.moc"
