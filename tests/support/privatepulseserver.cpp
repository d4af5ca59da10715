#include "privatepulseserver.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <csignal>

namespace {

constexpr int kStartTimeoutMs = 15000;

QString quotedDescription(const QString& description)
{
    return QStringLiteral("\"%1\"").arg(description);
}

} // namespace

PrivatePulseServer::PrivatePulseServer()
{
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
}

PrivatePulseServer::~PrivatePulseServer()
{
    stop();
}

QString PrivatePulseServer::address() const
{
    return QStringLiteral("unix:") + m_dir.filePath(QStringLiteral("pulse.sock"));
}

bool PrivatePulseServer::start(QString* error)
{
    auto fail = [error](const QString& reason) {
        if (error) {
            *error = reason;
        }
        return false;
    };
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("pactl")).isEmpty()) {
        return fail(QStringLiteral("pulseaudio or pactl is not installed"));
    }
    if (!m_dir.isValid()) {
        return fail(QStringLiteral("no temporary folder"));
    }
    if (isRunning()) {
        return true;
    }
    QFile::remove(m_dir.filePath(QStringLiteral("pulse.sock")));
    qputenv("PULSE_SERVER", address().toLocal8Bit());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"HOME", "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH"}) {
        environment.insert(QString::fromLatin1(variable), m_dir.path());
    }
    environment.remove(QStringLiteral("PULSE_SERVER"));
    m_process.setProcessEnvironment(environment);
    // No default script (-F /dev/null): the server has only the devices the
    // test loads, and nothing that looks for hardware or D-Bus.
    m_process.start(QStringLiteral("pulseaudio"),
                    {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
                     QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
                     QStringLiteral("-F"), QStringLiteral("/dev/null"),
                     QStringLiteral("--log-level=error"),
                     QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=") +
                         m_dir.filePath(QStringLiteral("pulse.sock"))});
    if (!m_process.waitForStarted(kStartTimeoutMs)) {
        return fail(QStringLiteral("pulseaudio does not start: ") + m_process.errorString());
    }
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!pactl({QStringLiteral("info")})) {
        if (deadline.hasExpired() || m_process.state() != QProcess::Running) {
            stop();
            return fail(QStringLiteral("pulseaudio does not answer"));
        }
        QThread::msleep(50);
    }
    return true;
}

void PrivatePulseServer::stop()
{
    if (m_process.state() == QProcess::NotRunning) {
        return;
    }
    resume(); // a stopped process would not see the terminate signal
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool PrivatePulseServer::isRunning() const
{
    return m_process.state() == QProcess::Running;
}

void PrivatePulseServer::pause()
{
    if (isRunning()) {
        ::kill(pid_t(m_process.processId()), SIGSTOP);
    }
}

void PrivatePulseServer::resume()
{
    if (isRunning()) {
        ::kill(pid_t(m_process.processId()), SIGCONT);
    }
}

bool PrivatePulseServer::pactl(const QStringList& arguments, QByteArray* output) const
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PULSE_SERVER"), address());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("pactl"), arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (output) {
        *output = process.readAllStandardOutput();
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

int PrivatePulseServer::loadModule(const QString& module, const QStringList& arguments)
{
    QByteArray output;
    if (!pactl(QStringList{QStringLiteral("load-module"), module} + arguments, &output)) {
        return -1;
    }
    bool ok = false;
    const int index = output.trimmed().toInt(&ok);
    return ok ? index : -1;
}

bool PrivatePulseServer::unloadModule(int index)
{
    return pactl({QStringLiteral("unload-module"), QString::number(index)});
}

int PrivatePulseServer::addNullSink(const QString& name, const QString& description)
{
    return loadModule(QStringLiteral("module-null-sink"),
                      {QStringLiteral("sink_name=") + name,
                       QStringLiteral("sink_properties='device.description=%1'")
                           .arg(quotedDescription(description))});
}

int PrivatePulseServer::addNullSource(const QString& name, const QString& description)
{
    return loadModule(QStringLiteral("module-null-source"),
                      {QStringLiteral("source_name=") + name,
                       QStringLiteral("description=") + quotedDescription(description)});
}

QList<quint32> PrivatePulseServer::volumes(const char* kind, const QString& name) const
{
    QByteArray output;
    if (!pactl({QStringLiteral("get-%1-volume").arg(QLatin1String(kind)), name}, &output)) {
        return {};
    }
    // "Volume: front-left: 19661 /  30% / -31.37 dB,   front-right: ..."
    const QString line = QString::fromUtf8(output).section(QLatin1Char('\n'), 0, 0);
    QList<quint32> result;
    static const QRegularExpression raw(QStringLiteral(":\\s*(\\d+)\\s*/"));
    auto it = raw.globalMatch(line);
    while (it.hasNext()) {
        result.append(it.next().captured(1).toUInt());
    }
    return result;
}

bool PrivatePulseServer::setVolumes(const char* kind, const QString& name,
                                    const QList<quint32>& volumes)
{
    QStringList arguments{QStringLiteral("set-%1-volume").arg(QLatin1String(kind)), name};
    for (quint32 volume : volumes) {
        arguments.append(QString::number(volume));
    }
    return pactl(arguments);
}
