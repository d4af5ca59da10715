#pragma once

#include "devicecatalog.h"

#include <memory>

// The catalog of the simulated hub, used by the tests and by the demo when
// no USB camera is attached. The demo also lists the system's own devices
// after the simulated ones (the machine's microphones, a virtual camera),
// tests list the hub alone.
class LUMORA_PLATFORM_EXPORT SimulatedDeviceCatalog : public DeviceCatalog
{
public:
    explicit SimulatedDeviceCatalog(std::unique_ptr<DeviceCatalog> system = nullptr);
    ~SimulatedDeviceCatalog() override;

    VideoInputList videoInputs() override;
    AudioInputList audioInputs() override;
    CameraAvailability availability(const VideoInputInfo& camera) override;
    QStringList inaccessibleVideoInputs() override;

private:
    std::unique_ptr<DeviceCatalog> m_system;
};
