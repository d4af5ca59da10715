#include "virtualcameracommand.h"

#include "elevatedlauncher.h"

#if !defined(_WIN32)
#include "linux/trustedhelper.h"
#endif

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace VirtualCameraCommand {

QString quoted(const QString& argument)
{
    QString escaped = argument;
    escaped.replace(QLatin1Char('"'), QStringLiteral("\"\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString windowsComponentPath(const QString& workingDirectory)
{
    return workingDirectory + QStringLiteral("/virtual/vcam_dshow.dll");
}

QString windows32BitComponentPath(const QString& dllPath)
{
    const int folder = dllPath.lastIndexOf(QLatin1Char('/'));
    return dllPath.left(folder + 1) + QStringLiteral("x86/") + dllPath.mid(folder + 1);
}

namespace {

// One registration tool's run: regsvr32 from a system folder, given by
// the variable SystemRoot, which cmd expands.
QString regsvr32Run(const char* systemFolder, const QString& switches, const QString& dllPath)
{
    // Backslashes, because LoadLibrary, which the tool ends in, asks for
    // them; quoted, so that a folder with blanks reaches it as one path.
    return QStringLiteral("\"%SystemRoot%\\%1\\regsvr32.exe\" ").arg(QLatin1String(systemFolder)) +
           switches + quoted(QString(dllPath).replace(QLatin1Char('/'), QLatin1Char('\\')));
}

} // namespace

ElevatedCommand windowsCommand(const QString& dllPath, bool enable)
{
    // A 64-bit program loads only the 64-bit filter and a 32-bit one only
    // the 32-bit filter, so both are registered: each by the tool of its
    // own bitness (a 32-bit DLL goes into the 32-bit view of the registry
    // only through the 32-bit tool in SysWOW64). One command line for cmd,
    // so that the administrator is asked once; the second tool runs only
    // when the first succeeded, and cmd ends with the failing one's code.
    const QString switches = enable ? QStringLiteral("/s  ") : QStringLiteral("/s /u  ");
    const QString both = regsvr32Run("System32", switches, dllPath) + QStringLiteral(" && ") +
                         regsvr32Run("SysWOW64", switches, windows32BitComponentPath(dllPath));
    ElevatedCommand command;
    command.file = QByteArrayLiteral("cmd.exe");
    // /s: cmd takes what is between the first and the last quotation mark
    // as the command line, unchanged.
    command.parameters = (QStringLiteral("/d /s /c \"") + both + QLatin1Char('"')).toUtf8();
    command.showCommand = 0;
    return command;
}

QString windowsFailureMessage(bool enable, ElevatedLauncher::Result result, int code)
{
    const QString done = enable ? QStringLiteral("registered") : QStringLiteral("unregistered");
    if (result == ElevatedLauncher::Result::Declined) {
        return QStringLiteral("The virtual camera was not %1: the administrator authorisation "
                              "was declined.")
            .arg(done);
    }
    if (result != ElevatedLauncher::Result::ToolFailed) {
        return QStringLiteral("The virtual camera was not %1: Windows could not start its "
                              "registration tool, regsvr32 (error %2).")
            .arg(done)
            .arg(code);
    }
    // regsvr32's exit codes.
    switch (code) {
    case 3:
        return QStringLiteral("The virtual camera was not %1: Windows could not load "
                              "vcam_dshow.dll (64-bit, or the 32-bit one in virtual\\x86). "
                              "Reinstall Lumora to repair it.")
            .arg(done);
    case 4:
        return QStringLiteral("The virtual camera was not %1: vcam_dshow.dll is not a "
                              "virtual camera component. Reinstall Lumora to repair it.")
            .arg(done);
    case 5:
        return QStringLiteral("The virtual camera was not %1: the registry refused the change. "
                              "Registering a camera needs administrator rights.")
            .arg(done);
    default:
        return QStringLiteral("The virtual camera was not %1: regsvr32 failed (exit code %2).")
            .arg(done)
            .arg(code);
    }
}

namespace {

const char* const kInstallHint = "Install it as root with \"cmake --install BUILD-FOLDER "
                                 "--component virtualcamera\" (for example build/app).";

// Only a development build runs a helper from its own build folder; the
// program users install runs nothing as root that they could have changed.
#if !defined(_WIN32)
bool developmentHelper()
{
#if defined(LUMORA_DEV_VCAM_HELPER_ALLOWED)
    return qEnvironmentVariableIntValue("LUMORA_DEV_VCAM_HELPER") == 1;
#else
    return false;
#endif
}
#endif

QString switchedWord(bool enable)
{
    return enable ? QStringLiteral("switched on") : QStringLiteral("switched off");
}

} // namespace

QString linuxInstalledPath()
{
    return QStringLiteral(LUMORA_VCAM_HELPER);
}

QString linuxComponentPath(const QString& workingDirectory)
{
    return workingDirectory + QStringLiteral("/virtual/lumora-vcam");
}

QString linuxFailureMessage(bool enable, ElevatedLauncher::Result result, int code)
{
    const QString setupHint =
        QStringLiteral(" Install it with \"scripts/setup.sh --virtual-camera\".");
    switch (result) {
    case ElevatedLauncher::Result::NotStarted:
        return QStringLiteral("The virtual camera needs pkexec, which is not installed.") +
               setupHint;
    case ElevatedLauncher::Result::NoAgent:
        return QStringLiteral("The virtual camera needs a polkit authentication agent to ask for "
                              "the administrator password, and none is running in this session.");
    case ElevatedLauncher::Result::Declined:
        return QStringLiteral("The virtual camera was not %1: the administrator authorisation "
                              "was declined.")
            .arg(switchedWord(enable));
    case ElevatedLauncher::Result::ToolFailed:
        break;
    case ElevatedLauncher::Result::TimedOut:
        return QStringLiteral("The virtual camera was not %1: the administrator authorisation "
                              "was not answered in time.")
            .arg(switchedWord(enable));
    case ElevatedLauncher::Result::Started:
        return QString();
    }
    switch (code) {
    case NoLoopbackModule:
        return QStringLiteral("The virtual camera needs the v4l2loopback kernel module, which is "
                              "not available.") +
               setupHint;
    case DeviceInUse:
        return QStringLiteral("The virtual camera device is in use by another program. Close the "
                              "programs using it and try again.");
    case HelperIncomplete:
        return QStringLiteral(
                   "The virtual camera's helper is incomplete: its feeder is missing. ") +
               QLatin1String(kInstallHint);
    case FeederFailed:
        return QStringLiteral("The virtual camera's feeder stopped at once; see "
                              "/run/lumora-vcam/feeder.log.");
    case NoDeviceAdded:
        return QStringLiteral("The virtual camera's device could not be added beside the "
                              "loopback devices of another program: v4l2loopback 0.12.5 or later "
                              "is needed.");
    default:
        return QStringLiteral("The virtual camera was not %1: its helper failed (exit code %2).")
            .arg(switchedWord(enable))
            .arg(code);
    }
}

#if !defined(_WIN32)
QString linuxRefusal(const QString& toolPath)
{
    if (!QFileInfo::exists(toolPath)) {
        return QStringLiteral("The virtual camera's helper is not installed (%1). ").arg(toolPath) +
               QLatin1String(kInstallHint);
    }
    const QString part = TrustedHelper::untrustedPart(toolPath);
    if (part.isEmpty()) {
        return QString();
    }
    return QStringLiteral("The virtual camera's helper %1 is not run as administrator, because "
                          "%2 may be changed by users other than root. ")
               .arg(toolPath, part) +
           QLatin1String(kInstallHint);
}
#endif

ElevatedCommand linuxCommand(const QString& toolPath, bool enable, const QString& tempPath)
{
    ElevatedCommand command;
    command.file = QFile::encodeName(toolPath);
    const QString parameters = enable ? QStringLiteral("register --tmpdir ") + quoted(tempPath)
                                      : QStringLiteral("unregister");
    command.parameters = QFile::encodeName(parameters);
    command.showCommand = 0;
    return command;
}

QString componentPath(const QString& workingDirectory)
{
#if defined(_WIN32)
    return windowsComponentPath(workingDirectory);
#else
    return developmentHelper() ? linuxComponentPath(workingDirectory) : linuxInstalledPath();
#endif
}

QString refusal(const QString& componentPath)
{
#if defined(_WIN32)
    for (const QString& path : {componentPath, windows32BitComponentPath(componentPath)}) {
        if (!componentPresent(path)) {
            return QStringLiteral("The virtual camera component is missing (%1). Reinstall "
                                  "Lumora to add it.")
                .arg(QDir::toNativeSeparators(path));
        }
    }
    return QString();
#else
    // A development build's own copy is the developer's to trust.
    return developmentHelper() ? QString() : linuxRefusal(componentPath);
#endif
}

QString failureMessage(bool enable, ElevatedLauncher::Result result, int code)
{
#if defined(_WIN32)
    return windowsFailureMessage(enable, result, code);
#else
    return linuxFailureMessage(enable, result, code);
#endif
}

bool componentPresent(const QString& componentPath)
{
#if defined(_WIN32)
    return QFileInfo(componentPath).isFile();
#else
    Q_UNUSED(componentPath);
    return true;
#endif
}

ElevatedCommand command(const QString& componentPath, bool enable)
{
#if defined(_WIN32)
    return windowsCommand(componentPath, enable);
#else
    return linuxCommand(componentPath, enable, QDir::tempPath());
#endif
}

} // namespace VirtualCameraCommand
