#pragma once

#include "lumora_platform_export.h"
#include "propertytransport.h"

#include <memory>

// The simulated cameras of the hub, listed before the system's own devices
// (when there is a system side), so a demo with a real camera attached
// still reaches both.
class LUMORA_PLATFORM_EXPORT SimulatedPropertyDevices final : public PropertyDevices
{
public:
    explicit SimulatedPropertyDevices(std::unique_ptr<PropertyDevices> system = nullptr);
    ~SimulatedPropertyDevices() override;

    long enumerate(QList<PropertyDeviceEntry>* devices) override;
    std::unique_ptr<PropertyTransport> bind(const QString& devicePath, long* result) override;
    QString identity(const QString& devicePath) override;

private:
    std::unique_ptr<PropertyDevices> m_system;
};
