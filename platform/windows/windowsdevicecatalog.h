#pragma once

#include "devicecatalog.h"

// Video inputs from DirectShow as Qt Multimedia lists them, audio inputs
// from the Windows audio devices.
class LUMORA_PLATFORM_EXPORT WindowsDeviceCatalog : public DeviceCatalog
{
public:
    VideoInputList videoInputs() override;
    AudioInputList audioInputs() override;
};
