#pragma once

#include "framesource.h"

#include <QList>

#include <atomic>
#include <cstdint>

struct AVFormatContext;

// A camera read through one of libavdevice's inputs (video4linux2 on
// Linux, dshow on Windows). The input is opened non-blocking, so that a
// stop request or a camera that went silent never leaves the worker stuck
// in the driver.
class LibavdeviceSource : public FrameSource
{
public:
    ~LibavdeviceSource() override;

    ReadResult read(AVPacket* packet) override;
    ReadResult readQueued(AVPacket* packet) override;
    void interrupt() override;
    const AVCodecParameters* codecParameters() const override;
    double frameRate() const override;
    QString describe() const override;

protected:
    // inputName: libavdevice's name of the input; url: what it opens;
    // codecOption: the input's option that asks for a compression
    // ("input_format", "vcodec").
    LibavdeviceSource(const char* inputName, const QString& url, const char* codecOption);

    struct Attempt
    {
        QString codec;       // empty: the device's current format
        QString pixelFormat; // a raw format by libavutil's name, instead of a codec
        int width = 0;       // 0: the device's current size
        int height = 0;
        double fps = 0;
    };
    // Opens with the first attempt the device accepts.
    bool openFirst(const QList<Attempt>& attempts);
    bool interrupted() const { return m_interrupted.load(); }
    const QString& url() const { return m_url; }
    const AVFormatContext* input() const { return m_input; }
    virtual bool openWith(const Attempt& attempt);
    // The driver had no picture: waits (at most timeoutUs) for the next one.
    // round counts the waits already made in this read. By default the
    // worker naps a few milliseconds between looks.
    virtual void waitForPicture(int64_t timeoutUs, int round);

private:
    void closeInput();

    const char* const m_inputName;
    const QString m_url;
    const char* const m_codecOption;
    AVFormatContext* m_input = nullptr;
    int m_stream = -1;
    std::atomic<bool> m_interrupted{false};
};
