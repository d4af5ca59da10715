// The agent's HTTP API under the load a building's controllers make, while
// the window previews: a real `lumora-ctl agent --http` with two simulated
// cameras, and 50 clients (bench/webapi/httpload_clients.py, Python's own
// http.client), each from a loopback address of its own and sending 10
// requests a second (the camera list, a camera's controls, a control
// written, the metrics page), for the given seconds. Meanwhile the real main
// window of this process previews a simulated camera with the 5 ms
// heartbeat on its GUI thread. Printed: the requests and their answers, the
// rate reached, the latency, and the window's worst stall beside the same
// preview without requests. Exits with 2 on an error answer or a stall over
// 50 ms.
// Run: xvfb-run -a build/test/bin/bench_httpload [seconds] (60 by default).
#include "heartbeat.h"
#include "mainwindowinspector.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"

#include <QApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

// The agent in a process of its own, its settings and cameras apart from the
// user's and from the window's.
bool startAgent(QProcess& agent, const QTemporaryDir& folder, quint16 port)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LUMORA_SIMULATED_CAMERAS"), QStringLiteral("2"));
    environment.insert(QStringLiteral("LUMORA_SIMULATED_STATE_DIR"), folder.filePath("cameras"));
    environment.insert(QStringLiteral("LUMORA_API_TOKEN"), QStringLiteral("bench"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath("config"));
    agent.setProcessEnvironment(environment);
    agent.setProcessChannelMode(QProcess::MergedChannels);
    // In a session of its own, as a service is, so that the scheduler shares
    // the processor between it and the window as between two programs.
    agent.start(QStringLiteral("setsid"),
                {QStringLiteral("-w"),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/lumora-ctl"),
                 QStringLiteral("agent"), QStringLiteral("--http=127.0.0.1:%1").arg(port)});
    QByteArray log;
    while (!log.contains("agent started") && agent.waitForReadyRead(30000)) {
        log += agent.readAll();
    }
    if (!log.contains("agent started")) {
        std::fprintf(stderr, "%s", log.constData());
        return false;
    }
    // What it says from now on is not this benchmark's to read.
    QObject::connect(&agent, &QProcess::readyRead, &agent, [&agent] { agent.readAll(); });
    return true;
}

void printStall(const char* what, const Heartbeat& beat)
{
    std::printf("%-34s worst stall %6.1f ms (GUI CPU %4.1f ms)  p99 %5.1f ms  late ticks %d%s\n",
                what, beat.worstMs(), beat.worstCpuMs(), beat.percentile(0.99), beat.lateTicks(),
                beat.lateTicks() ? qPrintable(QStringLiteral("  at ") + beat.lateAt()) : "");
}

// Runs the clients to the end with the window's event loop turning. The
// heartbeat starts once they have: making a process is this benchmark's
// work on the GUI thread, not the window's.
QJsonObject runClients(quint16 port, int seconds, Heartbeat& beat)
{
    QProcess clients;
    // The controllers are other machines: their work is theirs, not the
    // window's session's.
    clients.start(QStringLiteral("setsid"),
                  {QStringLiteral("-w"), QStringLiteral("python3"),
                   QStringLiteral(HTTPLOAD_CLIENTS), QStringLiteral("--port"),
                   QString::number(port), QStringLiteral("--token"), QStringLiteral("bench"),
                   QStringLiteral("--seconds"), QString::number(seconds)});
    clients.setReadChannel(QProcess::StandardError);
    if (!QTest::qWaitFor([&clients] { return clients.canReadLine(); }, 30000)) {
        return {};
    }
    beat.restart();
    if (!QTest::qWaitFor([&clients] { return clients.state() == QProcess::NotRunning; },
                         (seconds + 60) * 1000)) {
        clients.kill();
        clients.waitForFinished();
    }
    const QByteArray output = clients.readAllStandardOutput();
    if (clients.exitCode() != 0) {
        std::fprintf(stderr, "the clients failed: %s\n",
                     clients.readAllStandardError().constData());
    }
    return QJsonDocument::fromJson(output).object();
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? qMax(5, atoi(argv[1])) : 60;
    QApplication app(argc, argv);
    QTemporaryDir folder;
    const quint16 port = freePort();
    QProcess agent;
    if (!startAgent(agent, folder, port)) {
        std::fprintf(stderr, "the agent did not start\n");
        return 1;
    }

    SimulatedDeviceCatalog catalog;
    DeviceCatalog::setInstance(&catalog);
    SimulatedCameraConfig camera;
    camera.description = QStringLiteral("Cam A");
    camera.microphoneName = QStringLiteral("Microphone (Cam A)");
    SimulatedHub::instance().plugCamera(camera);
    Vorn_Cam window;
    window.show();
    MainWindowInspector inspect(window);
    const bool opened = QTest::qWaitFor([&inspect] { return inspect.captureOn(); }, 10000);
    inspect.ui()->pushButton_preview->setChecked(true);
    if (!opened || !QTest::qWaitFor([&inspect] { return !inspect.lastFrame().isNull(); }, 10000)) {
        std::fprintf(stderr, "the window shows no picture\n");
        return 1;
    }

    Heartbeat beat;
    beat.restart();
    QTest::qWait(qMin(seconds, 10) * 1000);
    printStall("previewing, no requests", beat);
    const double idleWorst = beat.worstMs();

    const QJsonObject result = runClients(port, seconds, beat);
    beat.stop();
    printStall("previewing, 50 clients x 10/s", beat);

    const QJsonObject latency = result.value(QStringLiteral("latencyMs")).toObject();
    const QJsonObject statuses = result.value(QStringLiteral("statuses")).toObject();
    const int requests = result.value(QStringLiteral("requests")).toInt();
    const int answered = statuses.value(QStringLiteral("200")).toInt();
    std::printf("%d requests in %d s (%.1f a second): %d answered 200, statuses %s, %d transport "
                "errors\nlatency median %.1f ms, p99 %.1f ms, max %.1f ms\n",
                requests, seconds, result.value(QStringLiteral("rate")).toDouble(), answered,
                QJsonDocument(statuses).toJson(QJsonDocument::Compact).constData(),
                result.value(QStringLiteral("transportErrors")).toInt(),
                latency.value(QStringLiteral("median")).toDouble(),
                latency.value(QStringLiteral("p99")).toDouble(),
                latency.value(QStringLiteral("max")).toDouble());
    agent.terminate();
    agent.waitForFinished(30000);
    DeviceCatalog::setInstance(nullptr);
    const bool failed =
        requests == 0 || answered != requests || beat.worstMs() > Heartbeat::kLimitMs;
    std::printf("%s (idle worst %.1f ms)\n", failed ? "MISSED" : "ok", idleWorst);
    return failed ? 2 : 0;
}
