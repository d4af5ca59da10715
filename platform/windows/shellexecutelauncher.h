#pragma once

#include "elevatedlauncher.h"

// Starts a program through the Windows shell with the verb "runas", which
// shows the elevation prompt. The shell returns as soon as the program has
// been started; its exit code is never seen.
class ShellExecuteLauncher : public ElevatedLauncher
{
public:
    int runElevated(const QByteArray& file, const QByteArray& parameters,
                    const QByteArray& directory, int showCommand) override;
};
