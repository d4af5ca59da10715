#pragma once

#include "elevatedlauncher.h"

// Starts a program through the Windows shell with the verb "runas", which
// shows the elevation prompt. runElevated returns as soon as the program has
// been started, as the shell call does; startElevated prompts and waits for
// the program's end on a thread of its own and reports its exit code. The
// texts are UTF-8 and reach the shell's wide-character call whole.
class LUMORA_PLATFORM_EXPORT ShellExecuteLauncher : public ElevatedLauncher
{
public:
    Result runElevated(const QByteArray& file, const QByteArray& parameters,
                       const QByteArray& directory, int showCommand) override;
    void startElevated(const QByteArray& file, const QByteArray& parameters,
                       const QByteArray& directory, int showCommand, QObject* context,
                       Finished finished) override;
};
