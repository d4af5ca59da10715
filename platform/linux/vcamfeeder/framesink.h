#pragma once

#include <QByteArray>
#include <QString>

// Where the feeder's frames go: the loopback video device, or a file or
// pipe that takes the raw frames one after another.
class FrameSink
{
public:
    virtual ~FrameSink() = default;

    // The frame format is fixed before the first frame; error describes a
    // failure.
    virtual bool open(int width, int height, bool i420, QString* error) = 0;
    // One whole frame; false when the target is gone.
    virtual bool write(const QByteArray& frame) = 0;
};
