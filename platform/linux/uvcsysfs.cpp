#include "uvcsysfs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>

namespace {

// The node's name under /sys/class/video4linux; a link such as
// /dev/v4l/by-id/... names the node it points to.
QString nodeName(const QString& devicePath)
{
    const QString target = QFileInfo(devicePath).canonicalFilePath();
    return QFileInfo(target.isEmpty() ? devicePath : target).fileName();
}

// -1 when the file is missing.
int readNumber(const QString& path, int base)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    return UvcSysfs::attributeNumber(file.readLine(32), base);
}

} // namespace

long UvcSysfs::locate(const QString& sysfsRoot, const QString& devicePath,
                      UvcSysfsLocation* location)
{
    *location = UvcSysfsLocation();
    const QString name = nodeName(devicePath);
    if (name.isEmpty()) {
        return -ENOENT;
    }
    const QString link =
        sysfsRoot + QStringLiteral("/class/video4linux/") + name + QStringLiteral("/device");
    const QString interfaceDir = QFileInfo(link).canonicalFilePath();
    if (interfaceDir.isEmpty()) {
        return -ENOENT;
    }
    const int interfaceNumber = readNumber(interfaceDir + QStringLiteral("/bInterfaceNumber"), 16);
    const QString usbDeviceDir = QFileInfo(interfaceDir).absolutePath();
    if (interfaceNumber < 0 || !QFileInfo::exists(usbDeviceDir + QStringLiteral("/descriptors"))) {
        return -ENODEV;
    }
    location->interfaceDir = interfaceDir;
    location->usbDeviceDir = usbDeviceDir;
    location->interfaceNumber = interfaceNumber;
    location->configurationValue =
        readNumber(usbDeviceDir + QStringLiteral("/bConfigurationValue"), 10);
    return 0;
}

QByteArray UvcSysfs::descriptors(const QString& sysfsRoot, const QString& devicePath,
                                 UvcSysfsLocation* location)
{
    if (locate(sysfsRoot, devicePath, location) < 0) {
        return {};
    }
    QFile file(location->usbDeviceDir + QStringLiteral("/descriptors"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    // sysfs reports a size of 4096 or so for attribute files whatever they
    // hold; read to the end instead of trusting it.
    return file.readAll();
}

QList<UvcExtensionUnit> UvcSysfs::extensionUnits(const QString& sysfsRoot,
                                                 const QString& devicePath)
{
    UvcSysfsLocation location;
    const QByteArray raw = descriptors(sysfsRoot, devicePath, &location);
    return UvcDescriptors::extensionUnits(raw, location.interfaceNumber,
                                          location.configurationValue);
}

double UvcSysfs::cameraZoomRatio(const QString& sysfsRoot, const QString& devicePath)
{
    UvcSysfsLocation location;
    const QByteArray raw = descriptors(sysfsRoot, devicePath, &location);
    return UvcDescriptors::cameraZoomRatio(raw, location.interfaceNumber,
                                           location.configurationValue);
}

int UvcSysfs::attributeNumber(const QByteArray& text, int base)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, base);
    return ok && value >= 0 ? value : -1;
}

QString UvcSysfs::usbDeviceOf(const QString& sysfsPath)
{
    // An interface folder is named after its device ("1-1.2:1.3" in
    // "1-1.2"), and only the whole folder name tells the device: "1-1" is
    // not "1-10", nor "1-1.2" its hub's port "1-1.2.1".
    static const QRegularExpression interface(
        QStringLiteral("/(\\d+-[\\d.]+)/\\1:\\d+\\.\\d+(/|$)"));
    const QRegularExpressionMatch match = interface.match(sysfsPath);
    if (!match.hasMatch() || match.capturedStart() == 0) {
        return QString();
    }
    const QString device = sysfsPath.left(match.capturedEnd(1));
    return device.startsWith(QLatin1String("/sys/")) ? device : QStringLiteral("/sys") + device;
}
