#include "mainwindowinspector.h"
#include "vorn_settingvideo.h"
#include "windownetwork.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPushButton>
#include <QSaveFile>
#include <QSettings>
#include <QTcpServer>
#include <QUdpSocket>
#include <QtTest>

#include <csignal>

// lumora-ctl agent as a user runs it: two simulated cameras, whose memory
// (their state files) another lumora-ctl and the test itself change, and a
// stand-in for logind on a private bus.
class TestAgent : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QProcess bus, agent;
    QString busAddress, log;

    QStringList environment() const
    {
        return QProcess::systemEnvironment() +
               QStringList{"LUMORA_SIMULATED_CAMERAS=2", "LUMORA_SIMULATED_STATE_DIR=" + dir.path(),
                           "DBUS_SYSTEM_BUS_ADDRESS=" + busAddress};
    }
    int ctl(const QStringList& args, QByteArray* out = nullptr)
    {
        QProcess process;
        process.setEnvironment(environment());
        process.start(QCoreApplication::applicationDirPath() + "/lumora-ctl", args);
        const bool finished = process.waitForFinished(60000);
        if (out)
            *out = process.readAllStandardOutput();
        return finished ? process.exitCode() : -1;
    }
    QJsonValue profiles()
    {
        QByteArray out;
        return ctl({"profile", "show", "all", "--json"}, &out) == 0
                   ? QJsonDocument::fromJson(out).object()["cameras"]
                   : QJsonValue();
    }
    QString stateFile(int camera) const
    {
        return dir.filePath(QString("SIM000%1.json").arg(camera + 1));
    }
    QJsonObject state(int camera) const
    {
        QFile file(stateFile(camera));
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                              : QJsonObject();
    }
    // As another computer or a test would: the file replaced whole.
    void changeState(int camera, const QJsonObject& changes)
    {
        QJsonObject json = state(camera);
        for (auto it = changes.begin(); it != changes.end(); ++it)
            json.insert(it.key(), it.value());
        QSaveFile file(stateFile(camera));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(json).toJson()) > 0 &&
                file.commit());
    }
    // Until the agent has told `text` `times` times in all.
    bool told(const QString& text, int times = 1)
    {
        QElapsedTimer clock;
        clock.start();
        while (log.count(text) < times && clock.elapsed() < 30000 &&
               agent.state() == QProcess::Running) {
            QCoreApplication::processEvents(); // a window of this process talks to it
            agent.waitForReadyRead(50);
            log += agent.readAllStandardError();
        }
        return log.count(text) >= times;
    }

    // The HTTP status of a GET; the window answering it is in this process.
    static int httpStatus(quint16 port, const QString& path, const QByteArray& token,
                          QByteArray* body = nullptr)
    {
        QNetworkAccessManager manager;
        QNetworkRequest request(QUrl(QString("http://127.0.0.1:%1%2").arg(port).arg(path)));
        if (!token.isEmpty())
            request.setRawHeader("Authorization", "Bearer " + token);
        QNetworkReply* reply = manager.get(request);
        QSignalSpy done(reply, &QNetworkReply::finished);
        if (!reply->isFinished() && !done.wait(30000))
            return -1;
        if (body)
            *body = reply->readAll();
        reply->deleteLater();
        return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    }
    // Ports free now: VISCA's UDP one with its TCP partner, and one for HTTP.
    static bool freePorts(quint16* visca, quint16* http)
    {
        QUdpSocket udp;
        QTcpServer tcp, web;
        if (!udp.bind(QHostAddress(QHostAddress::LocalHost), 0) || udp.localPort() >= 64000 ||
            !tcp.listen(QHostAddress::LocalHost, udp.localPort() + 1000) ||
            !web.listen(QHostAddress::LocalHost, 0))
            return false;
        *visca = udp.localPort();
        *http = web.serverPort();
        return true;
    }
    static bool nothingListens(quint16 visca, quint16 http)
    {
        QUdpSocket udp;
        QTcpServer tcp, web;
        return udp.bind(QHostAddress(QHostAddress::LocalHost), visca) &&
               tcp.listen(QHostAddress::LocalHost, visca + 1000) &&
               web.listen(QHostAddress::LocalHost, http);
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            QSKIP("dbus-daemon is not installed: no bus to stand in for logind");
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        QVERIFY(bus.waitForReadyRead(30000));
        busAddress = QString::fromUtf8(bus.readLine()).trimmed();
        QVERIFY(!busAddress.isEmpty());
    }
    void cleanupTestCase()
    {
        bus.kill();
        bus.waitForFinished();
    }

    // Killed half way through saving, lumora-ctl leaves the profiles it
    // found whole, and the next save is not locked out by the dead one.
    void aProfileSurvivesAKillInTheMiddleOfItsWrite()
    {
        QCOMPARE(ctl({"set", "all", "contrast=40"}), 0);
        QCOMPARE(ctl({"profile", "save", "all"}), 0);
        const QJsonValue before = profiles();
        QCOMPARE(before.toArray().size(), 2);
        QCOMPARE(ctl({"set", "all", "contrast=60"}), 0);

        QProcess saving;
        const QString folder = QFileInfo(QSettings("Lumora", "Lumora").fileName()).path();
        saving.setEnvironment(environment() << "LD_PRELOAD=" KILLMIDWRITE_PRELOAD
                                            << "LUMORA_KILL_WRITING_INTO=" + folder + "/");
        saving.start(QCoreApplication::applicationDirPath() + "/lumora-ctl",
                     {"profile", "save", "all"});
        QVERIFY(saving.waitForFinished(60000));
        QCOMPARE(saving.exitStatus(), QProcess::CrashExit);
        QCOMPARE(profiles(), before);

        QCOMPARE(ctl({"profile", "save", "all"}), 0);
        const QJsonArray after = profiles().toArray();
        QCOMPARE(after.size(), 2);
        QCOMPARE(after[1]["controls"]["contrast"].toInt(), 60);
    }

    void keepsProfilesAsCamerasComeGoAndChange()
    {
        QCOMPARE(ctl({"set", "all", "contrast=30"}), 0);
        QCOMPARE(ctl({"profile", "save", "all"}), 0);
        QCOMPARE(ctl({"profile", "hold", "0"}), 0);
        QCOMPARE(ctl({"set", "all", "contrast=50"}), 0);

        agent.setEnvironment(environment());
        agent.start(QCoreApplication::applicationDirPath() + "/lumora-ctl", {"agent"});
        QVERIFY(agent.waitForStarted());
        QVERIFY2(told("plugged in; wrote contrast", 2), qPrintable(log));
        QVERIFY2(log.contains("resume: logind"), qPrintable(log));

        // Back from elsewhere with its own value: it gets its profile again.
        changeState(1, {{"plugged", false}});
        QVERIFY2(told("(sim:video1): unplugged"), qPrintable(log));
        changeState(1, {{"plugged", true}, {"contrast", 80}});
        QVERIFY2(told("plugged in; wrote contrast", 3), qPrintable(log));

        // Another program's change: set back where held, left alone elsewhere.
        QCOMPARE(ctl({"set", "all", "contrast=70"}), 0);
        QVERIFY2(told("(sim:video0): set back; wrote contrast"), qPrintable(log));
        QCOMPARE(ctl({"set", "0", "contrast=71"}), 0);
        QVERIFY2(told("(sim:video0): set back; wrote contrast", 2), qPrintable(log));

        QDBusConnection logind = QDBusConnection::connectToBus(busAddress, "logind");
        QVERIFY(logind.registerService("org.freedesktop.login1"));
        QDBusMessage wake = QDBusMessage::createSignal(
            "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep");
        QVERIFY(logind.send(wake << false));
        QVERIFY2(told("(sim:video2): after resume; wrote contrast"), qPrintable(log));
        QVERIFY2(told("(sim:video0): after resume; already as its profile says"), qPrintable(log));

        ::kill(pid_t(agent.processId()), SIGTERM);
        QVERIFY(agent.waitForFinished(30000));
        log += agent.readAllStandardError();
        QCOMPARE(agent.exitStatus(), QProcess::NormalExit);
        QCOMPARE(agent.exitCode(), 0);
        QVERIFY2(log.trimmed().endsWith("agent stopped"), qPrintable(log));
        // Exactly one write each time: at start (2), the return, the two
        // changes of the held camera and the resume.
        QCOMPARE(log.count("wrote"), 6);
        QCOMPARE(log.count("wrote contrast\n"), 6);
        QCOMPARE(state(0)["contrast"].toInt(), 30);
        QCOMPARE(state(1)["contrast"].toInt(), 30);
    }

    // The window's camera is the window's: no set-back behind the user's
    // back while it is open, and the agent keeps the window's change after.
    void leavesTheWindowsCameraToTheWindow()
    {
        QCOMPARE(ctl({"profile", "hold", "1"}), 0);
        qputenv("LUMORA_SIMULATED_CAMERAS", "2");
        qputenv("LUMORA_SIMULATED_STATE_DIR", QFile::encodeName(dir.path()));
        agent.setEnvironment(environment());
        log.clear();
        agent.start(QCoreApplication::applicationDirPath() + "/lumora-ctl", {"agent"});
        QVERIFY(agent.waitForStarted());
        QVERIFY2(told("plugged in; already as its profile says", 2), qPrintable(log));
        auto* window = new Vorn_Cam;
        MainWindowInspector(*window).activate(1);
        QVERIFY2(told("the window is open"), qPrintable(log));
        auto* flip = MainWindowInspector(*window).settingVideo()->findChild<QPushButton*>(
            "pushButton_FlipH");
        QVERIFY(flip && flip->isEnabled());
        flip->click();

        QCOMPARE(ctl({"set", "all", "contrast=70"}), 0);
        QVERIFY2(told("(sim:video1): set back; wrote contrast"), qPrintable(log));
        delete window;
        QVERIFY2(told("(sim:video0): let go by the window; wrote contrast"), qPrintable(log));
        ::kill(pid_t(agent.processId()), SIGTERM);
        QVERIFY(agent.waitForFinished(30000));
        log += agent.readAllStandardError();
        // Camera 0 was written once, when the window let it go; its flip,
        // made in the window, is part of the profile the agent keeps.
        QCOMPARE(log.count("(sim:video0): set back"), 0);
        QCOMPARE(log.count("wrote"), 2);
        QCOMPARE(state(0)["contrast"].toInt(), 30);
        QVERIFY(state(0)["horizontalFlip"].toBool());
    }

    // The window serves what the settings switch on, for as long as it runs,
    // and gives way to an agent that serves on the same ports.
    void theWindowServesTheNetworkOnlyWhereNoAgentDoes()
    {
        qputenv("LUMORA_SIMULATED_CAMERAS", "2");
        qputenv("LUMORA_SIMULATED_STATE_DIR", QFile::encodeName(dir.path()));
        qputenv("LUMORA_API_TOKEN", "window-token");
        quint16 visca = 0, http = 0;
        QVERIFY(freePorts(&visca, &http));
        auto window = std::make_unique<Vorn_Cam>();
        QCoreApplication::processEvents();
        QVERIFY(!window->network()->isServing());
        QVERIFY(nothingListens(visca, http));
        window.reset();

        QSettings settings("Lumora", "Lumora");
        settings.setValue("network/viscaEnabled", true);
        settings.setValue("network/viscaAddress", QString("127.0.0.1:%1").arg(visca));
        settings.setValue("network/viscaAllow", "127.0.0.1");
        settings.setValue("network/httpEnabled", true);
        settings.setValue("network/httpAddress", QString("127.0.0.1:%1").arg(http));
        settings.sync();
        window = std::make_unique<Vorn_Cam>();
        MainWindowInspector inspect(*window);
        inspect.activate(1);
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(window->network()->isServing(), 30000);
        QByteArray body;
        QCOMPARE(httpStatus(http, "/api/v1/cameras", "window-token", &body), 200);
        QCOMPARE(QJsonDocument::fromJson(body)["cameras"].toArray().size(), 2);
        QCOMPARE(httpStatus(http, "/api/v1/cameras", {}), 401);
        // The window holds camera 0's one stream: its snapshot is the preview's.
        QTRY_VERIFY_WITH_TIMEOUT(!inspect.lastFrame().isNull(), 30000);
        QCOMPARE(httpStatus(http, "/api/v1/cameras/0/snapshot.jpg", "window-token", &body), 200);
        QCOMPARE(QImage::fromData(body, "JPEG").size(), inspect.lastFrame().size());

        qRegisterMetaType<QProcess::ExitStatus>();
        QProcess client;
        client.setProcessChannelMode(QProcess::MergedChannels);
        QSignalSpy finished(&client, SIGNAL(finished(int, QProcess::ExitStatus)));
        client.start("python3", {VISCA_CLIENT, "--port", QString::number(visca), "--state-dir",
                                 dir.path(), "--checks", "drive_and_stop"});
        QVERIFY(finished.wait(240000));
        QVERIFY2(client.exitCode() == 0, client.readAll().constData());
        // An agent started now finds the settings' ports taken and goes on.
        log.clear();
        agent.setEnvironment(environment());
        agent.start(QCoreApplication::applicationDirPath() + "/lumora-ctl", {"agent"});
        QVERIFY(agent.waitForStarted());
        QVERIFY2(told("the agent goes on without it", 2), qPrintable(log));
        QVERIFY2(told("agent started"), qPrintable(log));
        ::kill(pid_t(agent.processId()), SIGTERM);
        QVERIFY(agent.waitForFinished(30000));
        QCOMPARE(agent.exitCode(), 0);
        window.reset();

        // An agent reading the same settings holds the ports: the window
        // tells it once for each server and goes on without them.
        log.clear();
        agent.start(QCoreApplication::applicationDirPath() + "/lumora-ctl", {"agent"});
        QVERIFY(agent.waitForStarted());
        QVERIFY2(told("HTTP API listening on http://127.0.0.1:" + QString::number(http)),
                 qPrintable(log));
        window = std::make_unique<Vorn_Cam>();
        QSignalSpy refused(window->network(), &WindowNetwork::refused);
        QVERIFY(refused.wait(30000));
        QTRY_COMPARE(refused.count(), 2);
        QVERIFY(refused[0][0].toString().startsWith("VISCA cannot listen on UDP 127.0.0.1:"));
        QVERIFY(refused[1][0].toString().startsWith("The HTTP API cannot listen on 127.0.0.1:"));
        QVERIFY(!window->network()->isServing());
        QCOMPARE(httpStatus(http, "/api/v1/cameras", "window-token"), 200);
        window.reset();
        settings.remove("network");
        qunsetenv("LUMORA_API_TOKEN");
        ::kill(pid_t(agent.processId()), SIGTERM);
        QVERIFY(agent.waitForFinished(30000));
        QCOMPARE(agent.exitCode(), 0);
    }
};

QTEST_MAIN(TestAgent)
#include "tst_agent.moc"
