#pragma once

#include "libavdevicesource.h"

// A V4L2 camera node through libavdevice's "video4linux2" input: the mode
// the node lists that fits best, else MJPEG at the requested size, else
// whatever the node is set to. Between pictures the worker sleeps in poll()
// on the node, so it wakes as the driver completes a buffer rather than at
// its next look: on a loaded machine each wake-up is a wait for the CPU.
class V4l2Source : public LibavdeviceSource
{
public:
    explicit V4l2Source(const QString& devicePath);
    ~V4l2Source() override;

    bool open(int width, int height, int fps) override;
    void interrupt() override;

protected:
    bool openWith(const Attempt& attempt) override;
    void waitForPicture(int64_t timeoutUs, int round) override;

private:
    int m_node = -1; // libavdevice's descriptor of the node, when it could be found
    int m_wake = -1; // an eventfd that ends a wait when the capture stops
    bool m_saidReady = false;
};
