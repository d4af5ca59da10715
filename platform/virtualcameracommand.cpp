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

ElevatedCommand windowsCommand(const QString& dllPath, bool enable)
{
    // Quoted, so that a folder with blanks reaches the tool as one path;
    // backslashes, because LoadLibrary, which the tool ends in, asks for them.
    const QString path = quoted(QString(dllPath).replace(QLatin1Char('/'), QLatin1Char('\\')));
    const QString switches = enable ? QStringLiteral("/s  ") : QStringLiteral("/s /u  ");
    ElevatedCommand command;
    command.file = QByteArrayLiteral("regsvr32.exe");
    command.parameters = (switches + path).toUtf8();
    command.showCommand = 0;
    return command;
}

namespace {

const char* const kInstallHint = "Install it as root with \"cmake --install BUILD-FOLDER "
                                 "--component virtualcamera\" (for example build/app).";

// Only a development build runs a helper from its own build folder; the
// program users install runs nothing as root that they could have changed.
bool developmentHelper()
{
#if defined(LUMORA_DEV_VCAM_HELPER_ALLOWED)
    return qEnvironmentVariableIntValue("LUMORA_DEV_VCAM_HELPER") == 1;
#else
    return false;
#endif
}

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

QString linuxFailureMessage(bool enable, int result, int toolExitCode)
{
    const QString setupHint =
        QStringLiteral(" Install it with \"scripts/setup.sh --virtual-camera\".");
    switch (result) {
    case ElevatedLauncher::NotStarted:
        return QStringLiteral("The virtual camera needs pkexec, which is not installed.") +
               setupHint;
    case ElevatedLauncher::NoAgent:
        return QStringLiteral("The virtual camera needs a polkit authentication agent to ask for "
                              "the administrator password, and none is running in this session.");
    case ElevatedLauncher::Declined:
        return QStringLiteral("The virtual camera was not %1: the administrator authorisation "
                              "was declined.")
            .arg(switchedWord(enable));
    case ElevatedLauncher::ToolFailed:
        break;
    default:
        return QStringLiteral("The virtual camera was not %1 (error %2).")
            .arg(switchedWord(enable))
            .arg(result);
    }
    switch (toolExitCode) {
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
    default:
        return QStringLiteral("The virtual camera was not %1: its helper failed (exit code %2).")
            .arg(switchedWord(enable))
            .arg(toolExitCode);
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
    if (!componentPresent(componentPath)) {
        return QStringLiteral("The virtual camera component is missing (%1). Reinstall Lumora "
                              "to add it.")
            .arg(QDir::toNativeSeparators(componentPath));
    }
    return QString();
#else
    // A development build's own copy is the developer's to trust.
    return developmentHelper() ? QString() : linuxRefusal(componentPath);
#endif
}

QString failureMessage(bool enable, int result, int toolExitCode)
{
#if defined(_WIN32)
    if (result == ElevatedLauncher::Declined) {
        return linuxFailureMessage(enable, result, toolExitCode);
    }
    return QStringLiteral("The virtual camera component could not be %1 (error %2, exit code %3).")
        .arg(enable ? QStringLiteral("registered") : QStringLiteral("unregistered"))
        .arg(result)
        .arg(toolExitCode);
#else
    return linuxFailureMessage(enable, result, toolExitCode);
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
