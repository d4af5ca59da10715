#pragma once

#include "devicecatalog.h"

// Video inputs from DirectShow as Qt Multimedia lists them, audio inputs
// from the Windows audio devices.
class LUMORA_PLATFORM_EXPORT WindowsDeviceCatalog : public DeviceCatalog
{
public:
    VideoInputList videoInputs() override;
    AudioInputList audioInputs() override;
    // Gone when DirectShow no longer lists the camera, else Unknown:
    // DirectShow learns that another program holds a camera only when a
    // graph with it runs, which would start the stream.
    CameraAvailability availability(const VideoInputInfo& camera) override;
};
