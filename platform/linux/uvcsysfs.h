#pragma once

#include "uvcdescriptors.h"

#include <QString>

// Where sysfs keeps the USB side of a video node: the node's device link
// leads to the USB interface (bInterfaceNumber), whose parent is the USB
// device with its raw descriptors and active configuration.
struct UvcSysfsLocation
{
    QString interfaceDir;
    QString usbDeviceDir;
    int interfaceNumber = -1;
    int configurationValue = -1;
};

namespace UvcSysfs {

// sysfsRoot is normally "/sys". Negative -errno when the node has no USB
// interface behind it (a virtual or platform video device).
LUMORA_PLATFORM_EXPORT long locate(const QString& sysfsRoot, const QString& devicePath,
                                   UvcSysfsLocation* location);

// The extension units of the node's own VideoControl interface; an empty
// list when the node has none or is no USB device.
LUMORA_PLATFORM_EXPORT QList<UvcExtensionUnit> extensionUnits(const QString& sysfsRoot,
                                                              const QString& devicePath);
// The optical zoom ratio the node's camera terminal announces; 0 when none.
LUMORA_PLATFORM_EXPORT double cameraZoomRatio(const QString& sysfsRoot, const QString& devicePath);
// The raw descriptors of the node's USB device, with where they were found;
// empty when the node is no USB device.
LUMORA_PLATFORM_EXPORT QByteArray descriptors(const QString& sysfsRoot, const QString& devicePath,
                                              UvcSysfsLocation* location);

// The USB device folder (under /sys) that a device's sysfs path lies in,
// such as a sound card's "/devices/.../usb1/1-2/1-2:1.3/sound/card1" in
// "/sys/devices/.../usb1/1-2"; empty when the path is on no USB device.
LUMORA_PLATFORM_EXPORT QString usbDeviceOf(const QString& sysfsPath);

// The number in a sysfs attribute file, as read: one number and a line feed;
// -1 when empty (an unconfigured device has an empty bConfigurationValue)
// or anything but a number of 0 or more.
LUMORA_PLATFORM_EXPORT int attributeNumber(const QByteArray& text, int base);

} // namespace UvcSysfs
