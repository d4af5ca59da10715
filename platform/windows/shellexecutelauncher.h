#pragma once

#include "elevatedlauncher.h"

// Starts a program through the Windows shell with the verb "runas", which
// shows the elevation prompt. The texts are UTF-8 and reach the shell's
// wide-character call whole. The shell returns as soon as the program has
// been started; its exit code is never seen.
class LUMORA_PLATFORM_EXPORT ShellExecuteLauncher : public ElevatedLauncher
{
public:
    int runElevated(const QByteArray& file, const QByteArray& parameters,
                    const QByteArray& directory, int showCommand) override;
};
