#include "simulatedmicrophone.h"

#include <chrono>
#include <cmath>
#include <time.h>

SimulatedMicrophone::SimulatedMicrophone(double frequencyHz, int sampleRate, int channels,
                                         double amplitude)
    : m_frequency(frequencyHz), m_sampleRate(sampleRate), m_channels(channels),
      m_amplitude(amplitude)
{
}

int64_t SimulatedMicrophone::monotonicNowUs()
{
    // CLOCK_MONOTONIC, as av_gettime_relative() uses, so that sound and
    // pictures of a recording are stamped by one clock.
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
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
    const double step = 2.0 * M_PI * m_frequency / m_sampleRate;
    for (int i = 0; i < frames; ++i) {
        const auto value = int16_t(std::lround(std::sin(m_phase) * m_amplitude * 32767.0));
        for (int c = 0; c < m_channels; ++c) {
            *out++ = value;
        }
        m_phase = std::fmod(m_phase + step, 2.0 * M_PI);
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
