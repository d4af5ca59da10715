#pragma once

#include "lumora_platform_export.h"

#include <QByteArray>

// Starts a program with administrator rights: the shell's "runas" verb on
// Windows, pkexec on Linux. Tests put a fake in its place that records what
// would have been started.
class LUMORA_PLATFORM_EXPORT ElevatedLauncher
{
public:
    virtual ~ElevatedLauncher();

    // The texts are UTF-8 (on Linux the file system's encoding). Returns a
    // result in the shell's convention: above 32 when the program
    // was started, 32 or below when it was not (the user declined, or the
    // program could not be found or started).
    virtual int runElevated(const QByteArray& file, const QByteArray& parameters,
                            const QByteArray& directory, int showCommand) = 0;

    // The process-wide launcher: the system's own unless a test replaced it.
    static ElevatedLauncher& instance();
    // Replaces the process-wide launcher (not owned); null restores the
    // system's own.
    static void setInstance(ElevatedLauncher* launcher);
};
