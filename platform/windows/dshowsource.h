#pragma once

#include "libavdevicesource.h"

// A DirectShow camera through libavdevice's "dshow" input, named by its
// alternative name (the moniker's display name, unique even among cameras
// of one model): the mode the camera lists that matches the request (MJPEG
// first), else its nearest listed mode; failing those, the requested size
// and rate as MJPEG, then in any format, then whatever the camera is set to.
class DshowSource : public LibavdeviceSource
{
public:
    // deviceName: the camera's device name as the device catalog lists it
    // ("@device:pnp:\\?\usb#vid_...").
    explicit DshowSource(const QString& deviceName);

    bool open(const CaptureMode& wanted) override;

    // What the dshow input opens for that device.
    static QString inputUrl(const QString& deviceName);

private:
    const QString m_deviceName;
};
