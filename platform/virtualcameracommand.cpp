#include "virtualcameracommand.h"

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

QString linuxComponentPath(const QString& workingDirectory)
{
    return workingDirectory + QStringLiteral("/virtual/lumora-vcam");
}

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
    return linuxComponentPath(workingDirectory);
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
