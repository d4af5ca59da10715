#pragma once

#include "lumora_platform_export.h"
#include "simulatedcamerastate.h"

#include <memory>

struct AVPacket;
class SimulatedCamera;

// The video stream of one simulated camera, as a capture client sees a USB
// camera: opened exclusively, one MJPEG picture per frame interval, and an
// end of stream when the camera is unplugged.
class LUMORA_PLATFORM_EXPORT SimulatedVideoStream
{
public:
    explicit SimulatedVideoStream(std::shared_ptr<SimulatedCamera> camera);
    ~SimulatedVideoStream();
    SimulatedVideoStream(const SimulatedVideoStream&) = delete;
    SimulatedVideoStream& operator=(const SimulatedVideoStream&) = delete;

    // Takes the camera; false when it is unplugged, held by another
    // program or already streaming, or when the encoder cannot start.
    bool open();
    // The same in one of the camera's modes, at that size and rate.
    bool open(int width, int height, int fps);
    // Gives the camera back. Also done by the destructor.
    void close();
    bool isOpen() const;

    enum class ReadResult
    {
        Frame,       // packet holds one JPEG picture
        Ended,       // unplugged, or not open
        Interrupted, // interrupt() was called
    };

    // Waits for the next frame time, moves pan / tilt / zoom by the time
    // that passed, and hands out the picture of the camera's present state.
    // A reader that falls behind gets fewer frames, never a burst.
    ReadResult read(AVPacket* packet);

    // Wakes a waiting read() and makes every later one return Interrupted.
    // Callable from any thread.
    void interrupt();

    // One picture of the given state, now, without pacing or motion: for
    // tests and benchmarks. Needs no open().
    bool encode(const SimulatedCameraState& state, int msecsOfDay, double elapsedSeconds,
                AVPacket* packet);

    // Picture size (even) and frame rate the stream delivers.
    int width() const;
    int height() const;
    int fps() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
