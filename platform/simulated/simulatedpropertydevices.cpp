#include "simulatedpropertydevices.h"

#include "simulatedhub.h"
#include "simulatedpropertytransport.h"

#include <cerrno>

SimulatedPropertyDevices::SimulatedPropertyDevices(std::unique_ptr<PropertyDevices> system)
    : m_system(std::move(system))
{
}

SimulatedPropertyDevices::~SimulatedPropertyDevices() = default;

long SimulatedPropertyDevices::enumerate(QList<PropertyDeviceEntry>* devices)
{
    if (!devices) {
        return -EINVAL;
    }
    devices->clear();
    for (const auto& camera : SimulatedHub::instance().cameras()) {
        PropertyDeviceEntry entry;
        entry.friendlyName = camera->config().description;
        entry.devicePath = camera->deviceName();
        entry.pathReadable = camera->controlConfig().devicePathReadable;
        devices->append(entry);
    }
    if (!m_system) {
        return 0;
    }
    QList<PropertyDeviceEntry> system;
    // A failing system side leaves the simulated cameras usable.
    if (m_system->enumerate(&system) >= 0) {
        devices->append(system);
    }
    return 0;
}

std::unique_ptr<PropertyTransport> SimulatedPropertyDevices::bind(const QString& devicePath,
                                                                  long* result)
{
    long ignored = 0;
    long& status = result ? *result : ignored;
    if (auto camera = SimulatedHub::instance().camera(devicePath)) {
        if (!camera->isPlugged()) {
            status = -ENODEV;
            return nullptr;
        }
        if (!camera->controlConfig().bindable) {
            status = -EBUSY;
            return nullptr;
        }
        status = 0;
        return std::make_unique<SimulatedPropertyTransport>(camera);
    }
    if (m_system) {
        return m_system->bind(devicePath, result);
    }
    status = -ENODEV;
    return nullptr;
}

QString SimulatedPropertyDevices::identity(const QString& devicePath)
{
    if (auto camera = SimulatedHub::instance().camera(devicePath)) {
        const SimulatedCameraConfig& config = camera->config();
        return config.serial.isEmpty() ? config.usbIds + QStringLiteral(" port ") + config.usbPort
                                       : config.usbIds + QStringLiteral(" serial ") + config.serial;
    }
    return m_system ? m_system->identity(devicePath) : QString();
}
