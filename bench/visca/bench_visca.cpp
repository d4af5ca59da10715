// The time from a VISCA drive command leaving a controller to its
// completion coming back, which the agent sends once the camera's control
// request has returned: a real agent with a simulated camera, on loopback.
// Prints the median and p99 of 10,000 commands (pan right, stop, in turn)
// and fails when the median is above 2 ms or the p99 above 10 ms.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kCommands = 10000;
constexpr double kMedianTargetMs = 2.0;
constexpr double kP99TargetMs = 10.0;

QByteArray datagram(quint32 sequence, const QByteArray& message)
{
    QByteArray bytes;
    const quint32 fields[] = {0x01, 0x00, quint32(message.size() >> 8), quint32(message.size())};
    for (quint32 field : fields) {
        bytes.append(char(field));
    }
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.append(char(sequence >> shift));
    }
    return bytes + message;
}

bool startAgent(QProcess& agent, const QTemporaryDir& dir, quint16 port)
{
    agent.setEnvironment(QProcess::systemEnvironment() +
                         QStringList{"LUMORA_SIMULATED_CAMERAS=1",
                                     "LUMORA_SIMULATED_STATE_DIR=" + dir.filePath("state"),
                                     "XDG_CONFIG_HOME=" + dir.filePath("config")});
    agent.start(QCoreApplication::applicationDirPath() + "/lumora-ctl",
                {"agent", QStringLiteral("--visca=127.0.0.1:%1").arg(port)});
    QByteArray log;
    QElapsedTimer clock;
    clock.start();
    while (!log.contains("VISCA: camera 0") && clock.elapsed() < 30000 &&
           agent.state() != QProcess::NotRunning) {
        agent.waitForReadyRead(100);
        log += agent.readAllStandardError();
    }
    std::fputs(log.constData(), stderr);
    return log.contains("VISCA: camera 0");
}

// Until the completion of `sequence` is in; false on a time-out.
bool completed(QUdpSocket& socket, quint32 sequence)
{
    while (socket.waitForReadyRead(5000)) {
        while (socket.hasPendingDatagrams()) {
            QByteArray reply(int(socket.pendingDatagramSize()), '\0');
            socket.readDatagram(reply.data(), reply.size());
            const auto byte = [&reply](int i) { return quint8(reply.at(i)); };
            if (reply.size() == 11 &&
                quint32(byte(4) << 24 | byte(5) << 16 | byte(6) << 8 | byte(7)) == sequence &&
                (byte(9) & 0xF0) == 0x50) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QUdpSocket socket;
    if (!socket.bind(QHostAddress(QHostAddress::LocalHost), 0)) {
        return 2;
    }
    const quint16 port = quint16(40000 + QCoreApplication::applicationPid() % 10000);
    QProcess agent;
    if (!startAgent(agent, dir, port)) {
        std::fprintf(stderr, "the agent did not start on port %u\n", port);
        return 2;
    }
    const QByteArray right = QByteArray::fromHex("810106010c0c0203ff");
    const QByteArray stop = QByteArray::fromHex("810106010c0c0303ff");
    std::vector<double> times;
    times.reserve(kCommands);
    QElapsedTimer clock;
    for (quint32 i = 1; i <= quint32(kCommands); ++i) {
        clock.start();
        socket.writeDatagram(datagram(i, i % 2 ? right : stop), QHostAddress::LocalHost, port);
        if (!completed(socket, i)) {
            std::fprintf(stderr, "command %u was not completed\n", i);
            return 1;
        }
        times.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    agent.terminate();
    agent.waitForFinished(30000);
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double p99 = times[times.size() * 99 / 100];
    std::printf("VISCA drive to completion over %d commands: median %.3f ms, p99 %.3f ms, "
                "max %.3f ms (targets: median <= %.0f ms, p99 <= %.0f ms)\n",
                kCommands, median, p99, times.back(), kMedianTargetMs, kP99TargetMs);
    return median <= kMedianTargetMs && p99 <= kP99TargetMs ? 0 : 1;
}
