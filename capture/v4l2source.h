#pragma once

#include "framesource.h"

#include <atomic>

struct AVFormatContext;

// A V4L2 camera node through libavdevice's "video4linux2" input. The node
// is opened non-blocking so that a stop request or a camera that went
// silent never leaves the worker stuck in the driver.
class V4l2Source : public FrameSource
{
public:
    explicit V4l2Source(const QString& devicePath);
    ~V4l2Source() override;

    bool open(int width, int height, int fps) override;
    ReadResult read(AVPacket* packet) override;
    void interrupt() override;
    const AVCodecParameters* codecParameters() const override;
    double frameRate() const override;
    QString describe() const override;

private:
    struct Attempt
    {
        QString inputFormat; // empty: the driver's current format
        int width = 0;       // 0: the driver's current size
        int height = 0;
        double fps = 0;
    };
    bool openWith(const Attempt& attempt);
    void closeInput();

    const QString m_path;
    AVFormatContext* m_input = nullptr;
    int m_stream = -1;
    std::atomic<bool> m_interrupted{false};
};
