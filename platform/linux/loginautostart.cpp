#include "loginautostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

QString entryPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("autostart/lumora.desktop"));
}

// The Exec key's own quoting: the program's path in double quotes, with
// the characters the key reserves escaped.
QString quotedProgram()
{
    QString path = QCoreApplication::applicationFilePath();
    for (const QChar reserved : {QChar('\\'), QChar('"'), QChar('`'), QChar('$')}) {
        path.replace(reserved, QStringLiteral("\\") + reserved);
    }
    return QLatin1Char('"') + path + QLatin1Char('"');
}

} // namespace

namespace LoginAutostart {

bool isEnabled()
{
    return QFile::exists(entryPath());
}

bool setEnabled(bool on, QString* error)
{
    const QString path = entryPath();
    if (!on) {
        if (QFile::exists(path) && !QFile::remove(path)) {
            *error = QStringLiteral("%1 could not be removed").arg(path);
            return false;
        }
        return true;
    }
    QSaveFile entry(path);
    if (!QDir().mkpath(QFileInfo(path).path()) || !entry.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("%1 could not be written: %2").arg(path, entry.errorString());
        return false;
    }
    entry.write(
        QStringLiteral("[Desktop Entry]\nType=Application\nName=Lumora\n"
                       "Comment=USB conference camera control\nExec=%1\n"
                       "Icon=org.lumora.Lumora\nTerminal=false\nX-GNOME-Autostart-enabled=true\n")
            .arg(quotedProgram())
            .toUtf8());
    if (!entry.commit()) {
        *error = QStringLiteral("%1 could not be written: %2").arg(path, entry.errorString());
        return false;
    }
    return true;
}

} // namespace LoginAutostart
