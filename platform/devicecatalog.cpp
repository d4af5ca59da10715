#include "devicecatalog.h"

#include "simulated/simulateddevicecatalog.h"
#include "simulated/simulatedhub.h"

#if defined(_WIN32)
#include "windows/windowsdevicecatalog.h"
using SystemDeviceCatalog = WindowsDeviceCatalog;
#else
#include "linux/linuxdevicecatalog.h"
using SystemDeviceCatalog = LinuxDeviceCatalog;
#endif

#include <atomic>
#include <memory>

namespace {
std::atomic<DeviceCatalog*> g_override{nullptr};

DeviceCatalog& defaultCatalog()
{
    // Decided once: the environment asks for simulated cameras, or the
    // system's devices are used.
    static DeviceCatalog* const catalog = []() -> DeviceCatalog* {
        const int simulated = SimulatedHub::requestedCameraCount();
        if (simulated > 0) {
            for (int i = 0; i < simulated; ++i) {
                // Each with a serial number, as PTZ cameras have, so that
                // each keeps its own memory whatever else leaves.
                SimulatedCameraConfig config;
                config.serial = SimulatedHub::requestedCameraSerial(i);
                SimulatedHub::instance().plugCamera(config);
            }
            SimulatedHub::instance().keepStatesFromEnvironment();
            SimulatedHub::instance().scheduleUnplugsFromEnvironment();
            return new SimulatedDeviceCatalog(std::make_unique<SystemDeviceCatalog>());
        }
        return new SystemDeviceCatalog;
    }();
    return *catalog;
}
} // namespace

DeviceCatalog::~DeviceCatalog() = default;

CameraAvailability DeviceCatalog::availability(const VideoInputInfo&)
{
    return CameraAvailability::Unknown;
}

void DeviceCatalog::settleAudioInputs(int) {}

QStringList DeviceCatalog::inaccessibleVideoInputs()
{
    return {};
}

DeviceCatalog& DeviceCatalog::instance()
{
    if (DeviceCatalog* overridden = g_override.load()) {
        return *overridden;
    }
    return defaultCatalog();
}

void DeviceCatalog::setInstance(DeviceCatalog* catalog)
{
    g_override.store(catalog);
}
