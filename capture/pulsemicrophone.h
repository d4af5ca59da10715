#pragma once

#include "microphoneinput.h"

#include <atomic>

struct AVFormatContext;
struct AVPacket;

// A PulseAudio source read through libavdevice's "pulse" input.
class PulseMicrophone : public MicrophoneInput
{
public:
    PulseMicrophone();
    ~PulseMicrophone() override;

    // source: the PulseAudio source name (the catalog's systemId).
    bool open(const std::string& source, std::string* error);

    int sampleRate() const override { return kMicrophoneSampleRate; }
    int channels() const override { return kMicrophoneChannels; }
    bool read(std::vector<int16_t>& samples, int64_t* firstSampleUs) override;
    void interrupt() override;

private:
    static int interruptCallback(void* opaque);

    AVFormatContext* m_input = nullptr;
    AVPacket* m_packet = nullptr;
    std::atomic<bool> m_interrupted{false};
};
