#include "loginautostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>

namespace {

QSettings& runKey()
{
    static QSettings key(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"),
        QSettings::NativeFormat);
    return key;
}

} // namespace

namespace LoginAutostart {

bool isEnabled()
{
    return runKey().contains(QStringLiteral("Lumora"));
}

bool setEnabled(bool on, QString* error)
{
    QSettings& key = runKey();
    if (on) {
        key.setValue(QStringLiteral("Lumora"),
                     QLatin1Char('"') +
                         QDir::toNativeSeparators(QCoreApplication::applicationFilePath()) +
                         QLatin1Char('"'));
    } else {
        key.remove(QStringLiteral("Lumora"));
    }
    key.sync();
    if (key.status() != QSettings::NoError) {
        *error = QStringLiteral("the Run key of the user could not be changed");
        return false;
    }
    return true;
}

} // namespace LoginAutostart
