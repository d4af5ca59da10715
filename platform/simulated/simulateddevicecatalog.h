#pragma once

#include "devicecatalog.h"

// The catalog of the simulated hub: used by the tests and by the demo when
// no USB camera is attached.
class LUMORA_PLATFORM_EXPORT SimulatedDeviceCatalog : public DeviceCatalog
{
public:
    VideoInputList videoInputs() override;
    AudioInputList audioInputs() override;
};
