#include "pkexeclauncher.h"

#include "pkexecrun.h"

#include <QFile>
#include <QStringList>

#include <cstdio>

namespace {
// pkexec's own exit codes for a dismissed prompt and a refused or
// impossible authorisation; the latter names a missing agent in its message.
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorised = 127;
} // namespace

PkexecLauncher::PkexecLauncher(const QString& pkexecProgram, int waitMilliseconds)
    : m_pkexec(pkexecProgram), m_waitMilliseconds(waitMilliseconds)
{
}

ElevatedLauncher::Result PkexecLauncher::resultOf(QProcess::ExitStatus status, int exitCode,
                                                  const QByteArray& errors)
{
    if (status != QProcess::NormalExit) {
        return Result::ToolFailed;
    }
    switch (exitCode) {
    case 0:
        return Result::Started;
    case kPkexecDismissed:
        return Result::Declined;
    case kPkexecNotAuthorised:
        return errors.contains("authentication agent") ? Result::NoAgent : Result::Declined;
    default:
        return Result::ToolFailed;
    }
}

QStringList PkexecLauncher::arguments(const QByteArray& file, const QByteArray& parameters)
{
    return QStringList{QFile::decodeName(file)} +
           QProcess::splitCommand(QFile::decodeName(parameters));
}

QProcess* PkexecLauncher::newProcess(const QByteArray& file, const QByteArray& parameters,
                                     const QByteArray& directory) const
{
    auto* process = new QProcess;
    // Errors are read to tell a missing agent from a refusal; they are
    // passed on to the program's own error output when it ends.
    process->setProcessChannelMode(QProcess::ForwardedOutputChannel);
    if (!directory.isEmpty()) {
        process->setWorkingDirectory(QFile::decodeName(directory));
    }
    process->setProgram(m_pkexec);
    process->setArguments(arguments(file, parameters));
    return process;
}

ElevatedLauncher::Result PkexecLauncher::runElevated(const QByteArray& file,
                                                     const QByteArray& parameters,
                                                     const QByteArray& directory, int)
{
    QProcess* process = newProcess(file, parameters, directory);
    process->start();
    if (!process->waitForStarted()) {
        delete process;
        return Result::NotStarted;
    }
    if (!process->waitForFinished(m_waitMilliseconds)) {
        // Not killed: the prompt may still be answered, and a tool cut off
        // half-way would leave the device half set up. It goes when done.
        QObject::connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished),
                         process, &QObject::deleteLater);
        return Result::TimedOut;
    }
    const QByteArray errors = process->readAllStandardError();
    fwrite(errors.constData(), 1, size_t(errors.size()), stderr);
    const Result result = resultOf(process->exitStatus(), process->exitCode(), errors);
    delete process;
    return result;
}

void PkexecLauncher::startElevated(const QByteArray& file, const QByteArray& parameters,
                                   const QByteArray& directory, int, QObject* context,
                                   Finished finished)
{
    new PkexecRun(m_pkexec, arguments(file, parameters), QFile::decodeName(directory), context,
                  std::move(finished));
}
