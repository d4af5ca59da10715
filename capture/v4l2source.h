#pragma once

#include "libavdevicesource.h"

// A V4L2 camera node through libavdevice's "video4linux2" input: the mode
// the node lists that fits best, else MJPEG at the requested size, else
// whatever the node is set to.
class V4l2Source : public LibavdeviceSource
{
public:
    explicit V4l2Source(const QString& devicePath);

    bool open(int width, int height, int fps) override;

protected:
    bool openWith(const Attempt& attempt) override;
};
