#pragma once

#include "propertytransport.h"

// The V4L2 capture nodes (/dev/videoN) as property devices; bind opens the
// node and reaches its extension units through the uvcvideo driver.
class LUMORA_PLATFORM_EXPORT LinuxPropertyDevices final : public PropertyDevices
{
public:
    LinuxPropertyDevices() = default;
    // devRoot: where the video nodes live; sysfsRoot: the sysfs mount the
    // bound transports read the USB descriptors from. Other roots are for
    // tests.
    LinuxPropertyDevices(const QString& devRoot, const QString& sysfsRoot);

    long enumerate(QList<PropertyDeviceEntry>* devices) override;
    std::unique_ptr<PropertyTransport> bind(const QString& devicePath, long* result) override;
    QString identity(const QString& devicePath) override;

private:
    QString m_devRoot = QStringLiteral("/dev");
    QString m_sysfsRoot = QStringLiteral("/sys");
};
