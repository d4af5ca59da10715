#include "propertytransport.h"

#include "simulated/simulatedhub.h"
#include "simulated/simulatedpropertydevices.h"

#if defined(_WIN32)
#include "windows/dshowpropertydevices.h"
using SystemPropertyDevices = DshowPropertyDevices;
#else
#include "linux/linuxpropertydevices.h"
using SystemPropertyDevices = LinuxPropertyDevices;
#endif

#include <QtGlobal>

#include <atomic>
#include <cerrno>

namespace {

std::atomic<PropertyDevices*> g_override{nullptr};

std::unique_ptr<PropertyDevices> systemDevices()
{
    return std::make_unique<SystemPropertyDevices>();
}

PropertyDevices& defaultDevices()
{
    // The same rule as the device catalog: simulated cameras when the
    // environment asks for them, listed before the system's own.
    static PropertyDevices* const devices = []() -> PropertyDevices* {
        if (SimulatedHub::requestedCameraCount() > 0) {
            return new SimulatedPropertyDevices(systemDevices());
        }
        if (auto system = systemDevices()) {
            return system.release();
        }
        return new SimulatedPropertyDevices;
    }();
    return *devices;
}

} // namespace

PropertyTransport::~PropertyTransport() = default;

unsigned long PropertyTransport::extensionUnitNode(const QUuid&) const
{
    return 0;
}

bool PropertyTransport::deviceGone() const
{
    return false;
}

LensOptics PropertyTransport::lensOptics() const
{
    return {};
}

PropertyDevices::~PropertyDevices() = default;

QString PropertyDevices::identity(const QString&)
{
    return QString();
}

PropertyDevices& PropertyDevices::instance()
{
    if (PropertyDevices* overridden = g_override.load()) {
        return *overridden;
    }
    return defaultDevices();
}

void PropertyDevices::setInstance(PropertyDevices* devices)
{
    g_override.store(devices);
}
