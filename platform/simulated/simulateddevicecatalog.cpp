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
