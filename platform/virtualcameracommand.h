#pragma once

#include "elevatedlauncher.h"
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

// The component the switch runs: on Windows the one below the given working
// directory; on Linux the installed tool, or, for a development build that
// sets LUMORA_DEV_VCAM_HELPER=1, the one below the working directory.
LUMORA_PLATFORM_EXPORT QString componentPath(const QString& workingDirectory);
// Why the component may not be run with administrator rights, for the
// user; empty when it may.
LUMORA_PLATFORM_EXPORT QString refusal(const QString& componentPath);
// What the user is told when switching on (enable) or off failed, for a
// launcher result and its code (ElevatedLauncher::Finished).
LUMORA_PLATFORM_EXPORT QString failureMessage(bool enable, ElevatedLauncher::Result result,
                                              int code);
// False when the component is not there. Windows: the filter library is
// missing (the registration tool would fail silently); Linux: always true,
// the helper is judged by refusal().
LUMORA_PLATFORM_EXPORT bool componentPresent(const QString& componentPath);
LUMORA_PLATFORM_EXPORT ElevatedCommand command(const QString& componentPath, bool enable);

// Windows: the DirectShow filter library, registered silently by the
// system's COM registration tool; the 64-bit library, and beside it, in
// the folder "x86", the 32-bit one, for 32-bit programs.
LUMORA_PLATFORM_EXPORT QString windowsComponentPath(const QString& workingDirectory);
LUMORA_PLATFORM_EXPORT QString windows32BitComponentPath(const QString& dllPath);
LUMORA_PLATFORM_EXPORT ElevatedCommand windowsCommand(const QString& dllPath, bool enable);
LUMORA_PLATFORM_EXPORT QString windowsFailureMessage(bool enable, ElevatedLauncher::Result result,
                                                     int code);

// Linux: the tool that loads the loopback video device and starts the
// feeder; it runs as root, so it is told the user's temporary folder, where
// the shared frame's keys live. It is installed in a folder only root may
// change; a development build's copy lives below the working directory.
LUMORA_PLATFORM_EXPORT QString linuxInstalledPath();
LUMORA_PLATFORM_EXPORT QString linuxComponentPath(const QString& workingDirectory);
#if !defined(_WIN32)
LUMORA_PLATFORM_EXPORT QString linuxRefusal(const QString& toolPath);
#endif
LUMORA_PLATFORM_EXPORT QString linuxFailureMessage(bool enable, ElevatedLauncher::Result result,
                                                   int code);

// The tool's exit codes for what kept it from setting the device up.
enum LinuxToolExit : int
{
    NoLoopbackModule = 10,
    DeviceInUse = 11,
    HelperIncomplete = 12,
    FeederFailed = 13,
    NoDeviceAdded = 14
};
LUMORA_PLATFORM_EXPORT ElevatedCommand linuxCommand(const QString& toolPath, bool enable,
                                                    const QString& tempPath);

// One argument in double quotes, as both the Windows command line and
// QProcess::splitCommand read it (a quote inside is written as three).
LUMORA_PLATFORM_EXPORT QString quoted(const QString& argument);

} // namespace VirtualCameraCommand
