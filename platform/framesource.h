#pragma once

#include "capturemode.h"

#include <QString>

struct AVCodecParameters;
struct AVPacket;

// Where the capture worker's compressed or raw pictures come from: a V4L2
// node, a DirectShow camera, or a simulated camera. Opened, read and closed
// on the worker thread; interrupt() may come from any thread. A packet's
// pts is the moment its picture was captured, in microseconds on
// av_gettime_relative()'s clock, the one the microphones stamp with; or
// AV_NOPTS_VALUE from a source that cannot tell, whose pictures the capture
// dates by their arrival (those caught up, one frame period back each).
class FrameSource
{
public:
    enum class ReadResult
    {
        Packet,  // the packet holds one picture
        Nothing, // no picture this time (late, damaged): read again
        Ended,   // the device is gone or the source was interrupted
    };

    virtual ~FrameSource() = default;

    // Opens the device in the mode asked for when it offers it, else in
    // the nearest it offers (a format of Any: the best it has at that size
    // and rate).
    virtual bool open(const CaptureMode& wanted) = 0;
    virtual ReadResult read(AVPacket* packet) = 0;
    // A picture already waiting, without waiting for one: Packet or
    // Nothing. Sources that queue nothing have none.
    virtual ReadResult readQueued(AVPacket*) { return ReadResult::Nothing; }
    virtual void interrupt() = 0;

    // Valid after a successful open().
    virtual const AVCodecParameters* codecParameters() const = 0;
    virtual double frameRate() const = 0;

    // For diagnostic lines.
    virtual QString describe() const = 0;
};
