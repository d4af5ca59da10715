#pragma once

#include "lumora_platform_export.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One open microphone delivering interleaved signed 16-bit samples at a
// fixed rate and channel count. read() blocks until the device has data;
// interrupt() may be called from another thread to end a blocked read.
class MicrophoneInput
{
public:
    virtual ~MicrophoneInput() = default;

    virtual int sampleRate() const = 0;
    virtual int channels() const = 0;

    // Appends captured samples to `samples` (cleared first) and sets
    // firstSampleUs to the capture time of the first one, on the
    // monotonic clock of av_gettime_relative(). False: the device ended
    // (unplugged, server gone) or was interrupted.
    virtual bool read(std::vector<int16_t>& samples, int64_t* firstSampleUs) = 0;
    virtual void interrupt() = 0;
};

constexpr int kMicrophoneSampleRate = 48000;
constexpr int kMicrophoneChannels = 2;

// Opens the ordinal-th audio input of the device catalog whose device name
// is `name`: the simulated camera's tone for a simulated microphone, the
// PulseAudio source (Linux) or dshow audio input (Windows) otherwise. A
// systemId (a PulseAudio source name, a simulated camera's microphone)
// chooses the input instead, so that identical microphones stay apart; on
// Windows, whose dshow inputs have names only, it is not used. Null with
// `error` set when there is no such input or it cannot be opened.
LUMORA_PLATFORM_EXPORT std::unique_ptr<MicrophoneInput>
openMicrophone(const std::string& name, int ordinal, std::string* error,
               const std::string& systemId = {});
