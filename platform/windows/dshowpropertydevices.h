#pragma once

#include "propertytransport.h"

// The video input devices of DirectShow's system device enumerator, in its
// order, with their "FriendlyName" and "DevicePath"; bind finds the device
// by its path and takes its capture filter.
class LUMORA_PLATFORM_EXPORT DshowPropertyDevices final : public PropertyDevices
{
public:
    long enumerate(QList<PropertyDeviceEntry>* devices) override;
    std::unique_ptr<PropertyTransport> bind(const QString& devicePath, long* result) override;
    QString identity(const QString& devicePath) override;
};
