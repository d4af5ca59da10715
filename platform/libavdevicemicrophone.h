#pragma once

#include "microphoneinput.h"

#include <atomic>

struct AVDictionary;
struct AVFormatContext;
struct AVPacket;

// A microphone read through one of libavdevice's audio inputs ("pulse" on
// Linux, "dshow" on Windows), asked for kMicrophoneSampleRate and
// kMicrophoneChannels in signed 16-bit samples.
class LibavdeviceMicrophone : public MicrophoneInput
{
public:
    ~LibavdeviceMicrophone() override;

    int sampleRate() const override { return kMicrophoneSampleRate; }
    int channels() const override { return kMicrophoneChannels; }
    bool read(std::vector<int16_t>& samples, int64_t* firstSampleUs) override;
    void interrupt() override;

protected:
    LibavdeviceMicrophone() = default;
    // Opens url with the named input; takes the options.
    bool openInput(const char* inputName, const std::string& url, AVDictionary* options,
                   std::string* error);

private:
    static int interruptCallback(void* opaque);

    AVFormatContext* m_input = nullptr;
    AVPacket* m_packet = nullptr;
    std::atomic<bool> m_interrupted{false};
};
