#include "pkexecrun.h"

#include "pkexeclauncher.h"

#include <QProcess>

#include <cstdio>

PkexecRun::PkexecRun(QProcess* process, QObject* context, ElevatedLauncher::Finished finished)
    : QObject(context), m_process(process), m_finished(std::move(finished))
{
    m_process->setParent(this);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            report(ElevatedLauncher::NotStarted, 0);
        }
    });
    connect(m_process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            [this](int exitCode, QProcess::ExitStatus status) {
                const QByteArray errors = m_process->readAllStandardError();
                std::fwrite(errors.constData(), 1, size_t(errors.size()), stderr);
                const int result = PkexecLauncher::resultOf(status, exitCode, errors);
                report(result, result == ElevatedLauncher::ToolFailed ? exitCode : 0);
            });
    m_process->start();
}

PkexecRun::~PkexecRun()
{
    m_process->disconnect(this);
    if (m_process->state() == QProcess::NotRunning) {
        return;
    }
    m_process->terminate();
    if (m_process->waitForFinished(kCloseWaitMs)) {
        return;
    }
    // Still running as root: let it end on its own; Qt reaps it then.
    m_process->setParent(nullptr);
    connect(m_process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), m_process,
            &QObject::deleteLater);
}

void PkexecRun::report(int result, int toolExitCode)
{
    if (!m_finished) {
        return;
    }
    // Once only: a failed start may be followed by an error of another kind.
    const ElevatedLauncher::Finished finished = std::move(m_finished);
    m_finished = nullptr;
    deleteLater();
    finished(result, toolExitCode);
}
