#pragma once

#include "libavdevicesource.h"

// A DirectShow camera through libavdevice's "dshow" input, named by its
// alternative name (the moniker's display name, unique even among cameras
// of one model): MJPEG at the requested size and rate, else the requested
// size in any format, else whatever the camera is set to.
class DshowSource : public LibavdeviceSource
{
public:
    // deviceName: the camera's device name as the device catalog lists it
    // ("@device:pnp:\\?\usb#vid_...").
    explicit DshowSource(const QString& deviceName);

    bool open(int width, int height, int fps) override;

    // What the dshow input opens for that device.
    static QString inputUrl(const QString& deviceName);
};
