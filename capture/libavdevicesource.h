#pragma once

#include "framesource.h"

#include <QList>

#include <atomic>

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
        QString codec; // empty: the device's current format
        int width = 0; // 0: the device's current size
        int height = 0;
        double fps = 0;
    };
    // Opens with the first attempt the device accepts.
    bool openFirst(const QList<Attempt>& attempts);
    bool interrupted() const { return m_interrupted.load(); }
    const QString& url() const { return m_url; }
    virtual bool openWith(const Attempt& attempt);

private:
    void closeInput();

    const char* const m_inputName;
    const QString m_url;
    const char* const m_codecOption;
    AVFormatContext* m_input = nullptr;
    int m_stream = -1;
    std::atomic<bool> m_interrupted{false};
};
