#pragma once

#include "lumora_platform_export.h"

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <mutex>

// The simulated camera's microphone: a steady sine tone delivered at the
// pace of a real device, so a recording sees the same timing a USB
// microphone gives (blocks become available as real time passes).
class LUMORA_PLATFORM_EXPORT SimulatedMicrophone
{
public:
    explicit SimulatedMicrophone(double frequencyHz = 440.0, int sampleRate = 48000,
                                 int channels = 2, double amplitude = 0.25);

    int sampleRate() const { return m_sampleRate; }
    int channels() const { return m_channels; }
    double frequency() const { return m_frequency; }

    // Waits until the next `frames` samples have been "captured", then
    // writes them interleaved as signed 16-bit. firstSampleUs receives the
    // capture time of the first sample on the monotonic clock, in
    // microseconds (the clock av_gettime_relative() reads). The first call
    // starts the device. Returns false once interrupted.
    bool read(int16_t* out, int frames, int64_t* firstSampleUs);

    // Wakes a blocked read; every later read returns false.
    void interrupt();

    static int64_t monotonicNowUs();

private:
    const double m_frequency;
    const int m_sampleRate;
    const int m_channels;
    const double m_amplitude;
    double m_phase = 0.0;
    int64_t m_startUs = -1;
    int64_t m_framesDelivered = 0;
    bool m_interrupted = false;
    std::mutex m_mutex;
    std::condition_variable m_wake;
};

// Every simulated camera sings its own note (A4 and upwards by its node
// number), so a recording tells which camera's microphone it came from.
LUMORA_PLATFORM_EXPORT double simulatedToneFrequency(const QString& cameraDeviceName);
