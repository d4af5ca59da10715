#include <QDBusConnection>
#include <QDBusMessage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
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
    int ctl(const QStringList& args)
    {
        QProcess process;
        process.setEnvironment(environment());
        process.start(QCoreApplication::applicationDirPath() + "/lumora-ctl", args);
        return process.waitForFinished(60000) ? process.exitCode() : -1;
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
            agent.waitForReadyRead(100);
            log += agent.readAllStandardError();
        }
        return log.count(text) >= times;
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
};

QTEST_GUILESS_MAIN(TestAgent)
#include "tst_agent.moc"
