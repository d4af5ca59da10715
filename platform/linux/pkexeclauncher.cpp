#include "pkexeclauncher.h"

#include <QFile>
#include <QProcess>
#include <QStringList>

namespace {
// pkexec's own exit codes for a dismissed prompt and a refused or
// impossible authorisation (no polkit agent in the session).
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorised = 127;
} // namespace

PkexecLauncher::PkexecLauncher(const QString& pkexecProgram, int waitMilliseconds)
    : m_pkexec(pkexecProgram), m_waitMilliseconds(waitMilliseconds)
{
}

int PkexecLauncher::runElevated(const QByteArray& file, const QByteArray& parameters,
                                const QByteArray& directory, int)
{
    QStringList arguments{QFile::decodeName(file)};
    arguments += QProcess::splitCommand(QFile::decodeName(parameters));

    auto* process = new QProcess;
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    if (!directory.isEmpty()) {
        process->setWorkingDirectory(QFile::decodeName(directory));
    }
    process->start(m_pkexec, arguments);
    if (!process->waitForStarted()) {
        delete process;
        return NotStarted;
    }
    if (!process->waitForFinished(m_waitMilliseconds)) {
        // Not killed: the prompt may still be answered, and a tool cut off
        // half-way would leave the device half set up. It goes when done.
        QObject::connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished),
                         process, &QObject::deleteLater);
        return TimedOut;
    }
    const bool normalExit = process->exitStatus() == QProcess::NormalExit;
    const int exitCode = process->exitCode();
    delete process;
    if (!normalExit) {
        return ToolFailed;
    }
    switch (exitCode) {
    case 0:
        return Started;
    case kPkexecDismissed:
    case kPkexecNotAuthorised:
        return Declined;
    default:
        return ToolFailed;
    }
}
