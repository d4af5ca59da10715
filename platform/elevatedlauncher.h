#pragma once

#include "lumora_platform_export.h"

#include <QByteArray>

#include <functional>

class QObject;

// Starts a program with administrator rights: the shell's "runas" verb on
// Windows, pkexec on Linux. Tests put a fake in its place that records what
// would have been started.
class LUMORA_PLATFORM_EXPORT ElevatedLauncher
{
public:
    // What became of a launch, the same on every platform: each launcher
    // keeps its system's own way of telling it to itself.
    enum class Result
    {
        Started,    // started (and, where its end is seen, ended well)
        NotStarted, // the elevation program is missing or could not be run
        Declined,   // the user dismissed the prompt, or was not authorised
        NoAgent,    // nobody in the session can show a prompt
        ToolFailed, // the program ran and reported a failure (code)
        TimedOut    // neither answer nor end within the waiting time
    };

    // code is the program's own exit code when result is ToolFailed, the
    // system's error number when it is NotStarted and the system names one,
    // else 0.
    using Finished = std::function<void(Result result, int code)>;

    virtual ~ElevatedLauncher();

    // Runs the program and waits for the answer. The texts are UTF-8 (on
    // Linux the file system's encoding).
    virtual Result runElevated(const QByteArray& file, const QByteArray& parameters,
                               const QByteArray& directory, int showCommand) = 0;

    // Starts the program and returns at once; `finished` runs later on the
    // thread of `context`, unless `context` is gone by then. Whatever is
    // still running when `context` is destroyed is cancelled if it can be
    // (a prompt not yet answered) and otherwise waited for a few seconds,
    // so no half-done elevated program is left behind by a closed window.
    // This default waits in runElevated and answers before returning, which
    // suits launchers that answer at once.
    virtual void startElevated(const QByteArray& file, const QByteArray& parameters,
                               const QByteArray& directory, int showCommand, QObject* context,
                               Finished finished);

    // The process-wide launcher: the system's own unless a test replaced it.
    static ElevatedLauncher& instance();
    // Replaces the process-wide launcher (not owned); null restores the
    // system's own.
    static void setInstance(ElevatedLauncher* launcher);
};
