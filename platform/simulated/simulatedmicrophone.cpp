#include "simulatedmicrophone.h"

extern "C" {
#include <libavutil/time.h>
}

#include <chrono>
#include <cmath>

namespace {
constexpr double kTwoPi = 6.283185307179586;
} // namespace

SimulatedMicrophone::SimulatedMicrophone(double frequencyHz, int sampleRate, int channels,
                                         double amplitude)
    : m_frequency(frequencyHz), m_sampleRate(sampleRate), m_channels(channels),
      m_amplitude(amplitude)
{
}

int64_t SimulatedMicrophone::monotonicNowUs()
{
    // FFmpeg's own clock, so that sound and pictures of a recording are
    // stamped by one clock on every platform.
    return av_gettime_relative();
}

bool SimulatedMicrophone::read(int16_t* out, int frames, int64_t* firstSampleUs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_interrupted || frames <= 0) {
        return false;
    }
    if (m_startUs < 0) {
        m_startUs = monotonicNowUs();
    }
    const int64_t firstUs = m_startUs + m_framesDelivered * 1000000 / m_sampleRate;
    const int64_t dueUs = m_startUs + (m_framesDelivered + frames) * 1000000 / m_sampleRate;
    while (!m_interrupted) {
        const int64_t waitUs = dueUs - monotonicNowUs();
        if (waitUs <= 0) {
            break;
        }
        m_wake.wait_for(lock, std::chrono::microseconds(waitUs));
    }
    if (m_interrupted) {
        return false;
    }
    const double step = kTwoPi * m_frequency / m_sampleRate;
    for (int i = 0; i < frames; ++i) {
        const auto value = int16_t(std::lround(std::sin(m_phase) * m_amplitude * 32767.0));
        for (int c = 0; c < m_channels; ++c) {
            *out++ = value;
        }
        m_phase = std::fmod(m_phase + step, kTwoPi);
    }
    m_framesDelivered += frames;
    if (firstSampleUs) {
        *firstSampleUs = firstUs;
    }
    return true;
}

void SimulatedMicrophone::interrupt()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_interrupted = true;
    }
    m_wake.notify_all();
}

double simulatedToneFrequency(const QString& cameraDeviceName)
{
    const int at = cameraDeviceName.lastIndexOf(QLatin1String("video"));
    const int node = at < 0 ? 0 : cameraDeviceName.mid(at + 5).toInt();
    return 440.0 + 110.0 * (node % 8);
}
