#include "pkexecrun.h"

#include "pkexeclauncher.h"
#include "retryioctl.h"

#include <QFile>
#include <QMetaObject>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

struct PkexecRun::Shared
{
    std::mutex mutex;
    std::condition_variable ended;
    PkexecRun* receiver = nullptr; // null once the run object is gone
    pid_t pid = -1;
    bool reaped = false;
};

namespace {

QByteArray readAll(int fd)
{
    QByteArray text;
    char chunk[4096];
    for (;;) {
        const ssize_t count = read(fd, chunk, sizeof chunk);
        if (count > 0) {
            text.append(chunk, int(count));
        } else if (count == 0 || errno != EINTR) {
            return text;
        }
    }
}

} // namespace

// On the waiting thread: the error output to its end, then the process's.
void PkexecRun::waitForEnd(std::shared_ptr<Shared> shared, int errors)
{
    const QByteArray text = readAll(errors);
    close(errors);
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    // Waited for without reaping, so that the process cannot be signalled
    // after its id has gone to another.
    siginfo_t info{};
    retryOnInterrupt([&] { return waitid(P_PID, id_t(shared->pid), &info, WEXITED | WNOWAIT); });
    const bool exited = info.si_code == CLD_EXITED;
    const int code = exited ? info.si_status : 0;
    const ElevatedLauncher::Result result =
        PkexecLauncher::resultOf(exited ? QProcess::NormalExit : QProcess::CrashExit, code, text);

    const std::lock_guard<std::mutex> lock(shared->mutex);
    waitpid(shared->pid, nullptr, 0);
    shared->reaped = true;
    shared->ended.notify_all();
    if (PkexecRun* receiver = shared->receiver) {
        const int toolExitCode = result == ElevatedLauncher::Result::ToolFailed ? code : 0;
        QMetaObject::invokeMethod(
            receiver, [receiver, result, toolExitCode] { receiver->report(result, toolExitCode); },
            Qt::QueuedConnection);
    }
}

PkexecRun::PkexecRun(const QString& program, const QStringList& arguments, const QString& directory,
                     QObject* context, ElevatedLauncher::Finished finished)
    : QObject(context), m_shared(std::make_shared<Shared>()), m_finished(std::move(finished))
{
    m_shared->receiver = this;
    std::vector<QByteArray> texts{QFile::encodeName(program)};
    for (const QString& argument : arguments) {
        texts.push_back(QFile::encodeName(argument));
    }
    std::vector<char*> argv;
    for (QByteArray& text : texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);

    int errors[2];
    int spawned = ENOENT;
    if (pipe2(errors, O_CLOEXEC) == 0) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, errors[1], STDERR_FILENO);
        if (!directory.isEmpty()) {
            posix_spawn_file_actions_addchdir_np(&actions, QFile::encodeName(directory));
        }
        spawned = posix_spawnp(&m_shared->pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(errors[1]);
        if (spawned != 0) {
            close(errors[0]);
        }
    }
    if (spawned != 0) {
        QMetaObject::invokeMethod(
            this, [this] { report(ElevatedLauncher::Result::NotStarted, 0); },
            Qt::QueuedConnection);
        return;
    }
    m_waiter = std::thread(waitForEnd, m_shared, errors[0]);
}

PkexecRun::~PkexecRun()
{
    std::unique_lock<std::mutex> lock(m_shared->mutex);
    m_shared->receiver = nullptr;
    if (!m_waiter.joinable()) {
        return;
    }
    if (!m_shared->reaped) {
        kill(m_shared->pid, SIGTERM);
        m_shared->ended.wait_for(lock, std::chrono::milliseconds(kCloseWaitMs),
                                 [this] { return m_shared->reaped; });
    }
    const bool reaped = m_shared->reaped;
    lock.unlock();
    if (reaped) {
        m_waiter.join();
    } else {
        // Still running as root: the thread reaps it when it ends.
        m_waiter.detach();
    }
}

void PkexecRun::report(ElevatedLauncher::Result result, int toolExitCode)
{
    if (!m_finished) {
        return;
    }
    const ElevatedLauncher::Finished finished = std::move(m_finished);
    m_finished = nullptr;
    deleteLater();
    finished(result, toolExitCode);
}
