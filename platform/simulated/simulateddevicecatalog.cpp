#include "simulateddevicecatalog.h"

#include "simulatedhub.h"

SimulatedDeviceCatalog::SimulatedDeviceCatalog(std::unique_ptr<DeviceCatalog> system)
    : m_system(std::move(system))
{
}

SimulatedDeviceCatalog::~SimulatedDeviceCatalog() = default;

VideoInputList SimulatedDeviceCatalog::videoInputs()
{
    VideoInputList inputs = SimulatedHub::instance().videoInputs();
    if (m_system) {
        inputs += m_system->videoInputs();
    }
    return inputs;
}

AudioInputList SimulatedDeviceCatalog::audioInputs()
{
    AudioInputList inputs = SimulatedHub::instance().audioInputs();
    if (m_system) {
        inputs += m_system->audioInputs();
    }
    return inputs;
}

CameraAvailability SimulatedDeviceCatalog::availability(const VideoInputInfo& camera)
{
    SimulatedHub& hub = SimulatedHub::instance();
    if (const auto simulated = hub.camera(camera.deviceName())) {
        if (!simulated->isPlugged()) {
            return CameraAvailability::Gone;
        }
        return simulated->inUseByOtherProgram() || simulated->isStreaming()
                   ? CameraAvailability::InUse
                   : CameraAvailability::Free;
    }
    if (hub.videoInputs().contains(camera)) {
        return CameraAvailability::Unknown; // a foreign input without a model
    }
    return m_system ? m_system->availability(camera) : CameraAvailability::Gone;
}

QStringList SimulatedDeviceCatalog::inaccessibleVideoInputs()
{
    return m_system ? m_system->inaccessibleVideoInputs() : QStringList();
}
