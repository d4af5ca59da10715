#pragma once

#include "lumora_platform_export.h"

#include <QByteArray>
#include <QString>

// What the virtual camera switch starts with administrator rights to
// register or unregister the virtual camera component.
struct ElevatedCommand
{
    QByteArray file;
    QByteArray parameters;
    QByteArray directory;
    int showCommand = 0;
};

// Both platforms' commands are built everywhere, so each can be checked on
// any machine; componentPath and command pick the running platform's.
namespace VirtualCameraCommand {

// The component below the given working directory.
LUMORA_PLATFORM_EXPORT QString componentPath(const QString& workingDirectory);
// False when switching on cannot work because the component is not there.
// Windows: the filter library is missing (the registration tool would fail
// silently); Linux: always true, the elevated tool reports a missing helper
// itself.
LUMORA_PLATFORM_EXPORT bool componentPresent(const QString& componentPath);
// The shell's result for a file that is not there (SE_ERR_FNF).
constexpr int kComponentMissing = 2;
LUMORA_PLATFORM_EXPORT ElevatedCommand command(const QString& componentPath, bool enable);

// Windows: the DirectShow filter library, registered silently by the
// system's COM registration tool.
LUMORA_PLATFORM_EXPORT QString windowsComponentPath(const QString& workingDirectory);
LUMORA_PLATFORM_EXPORT ElevatedCommand windowsCommand(const QString& dllPath, bool enable);

// Linux: the tool that loads the loopback video device and starts the
// feeder; it runs as root, so it is told the user's temporary folder, where
// the shared frame's keys live.
LUMORA_PLATFORM_EXPORT QString linuxComponentPath(const QString& workingDirectory);
LUMORA_PLATFORM_EXPORT ElevatedCommand linuxCommand(const QString& toolPath, bool enable,
                                                    const QString& tempPath);

// One argument in double quotes, as both the Windows command line and
// QProcess::splitCommand read it (a quote inside is written as three).
LUMORA_PLATFORM_EXPORT QString quoted(const QString& argument);

} // namespace VirtualCameraCommand
