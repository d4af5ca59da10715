#pragma once

#include "framesource.h"
#include "lumora_platform_export.h"

#include <atomic>
#include <cstdint>
#include <vector>

struct v4l2_buffer;

// A V4L2 camera node streamed through a few memory-mapped buffers: the mode
// asked for when the node lists it, else the listed one that fits best,
// else MJPEG at the requested size, else whatever the node is set to. Every picture is copied out
// before its buffer goes back to the driver, so no packet ever points into a mapping that close()
// or an unplug takes away. Between pictures the worker sleeps in poll() on the node and on an
// eventfd that interrupt() writes.
class LUMORA_PLATFORM_EXPORT V4l2CaptureSource : public FrameSource
{
public:
    // Buffers asked of the driver: see the comment at its definition.
    static const unsigned kBufferCount;

    explicit V4l2CaptureSource(const QString& devicePath);
    ~V4l2CaptureSource() override;
    V4l2CaptureSource(const V4l2CaptureSource&) = delete;
    V4l2CaptureSource& operator=(const V4l2CaptureSource&) = delete;

    bool open(const CaptureMode& wanted) override;
    ReadResult read(AVPacket* packet) override;
    ReadResult readQueued(AVPacket* packet) override;
    void interrupt() override;
    const AVCodecParameters* codecParameters() const override;
    double frameRate() const override;
    QString describe() const override;

private:
    struct Attempt
    {
        uint32_t fourcc = 0; // 0: the node's current format, size and rate
        int width = 0;
        int height = 0;
        double fps = 0;
    };
    struct Mapping
    {
        void* start = nullptr;
        size_t length = 0;
    };
    enum class Dequeue
    {
        Picture,
        Empty,
        Damaged,
        Failed,
    };

    bool openWith(const Attempt& attempt);
    bool setFormat(const Attempt& attempt);
    void setRate(double fps);
    bool mapBuffers();
    bool startStreaming();
    void release();
    Dequeue dequeue(AVPacket* packet);
    bool copyOut(const v4l2_buffer& buffer, AVPacket* packet) const;
    bool waitForPicture(int timeoutMs);

    const QString m_path;
    int m_fd = -1;
    int m_wake = -1; // an eventfd that ends a wait when the capture stops
    bool m_streaming = false;
    std::vector<Mapping> m_buffers;
    int m_width = 0;
    int m_height = 0;
    uint32_t m_stride = 0; // bytes of one line of the first plane
    double m_fps = 0;
    size_t m_queuedTaken = 0; // pictures readQueued() gave since the last read()
    AVCodecParameters* m_parameters = nullptr;
    std::atomic<bool> m_interrupted{false};
};
