#include "pulsemicrophone.h"

extern "C" {
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/time.h>
}

#include <cstring>
#include <mutex>

namespace {

std::string avErrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

} // namespace

PulseMicrophone::PulseMicrophone() = default;

PulseMicrophone::~PulseMicrophone()
{
    av_packet_free(&m_packet);
    avformat_close_input(&m_input);
}

int PulseMicrophone::interruptCallback(void* opaque)
{
    return static_cast<PulseMicrophone*>(opaque)->m_interrupted.load() ? 1 : 0;
}

bool PulseMicrophone::open(const std::string& source, std::string* error)
{
    static std::once_flag registered;
    std::call_once(registered, [] { avdevice_register_all(); });
    const AVInputFormat* format = av_find_input_format("pulse");
    if (!format) {
        *error = "this FFmpeg has no pulse input";
        return false;
    }
    m_input = avformat_alloc_context();
    m_input->interrupt_callback = {&PulseMicrophone::interruptCallback, this};
    AVDictionary* options = nullptr;
    av_dict_set_int(&options, "sample_rate", kMicrophoneSampleRate, 0);
    av_dict_set_int(&options, "channels", kMicrophoneChannels, 0);
    // 20 ms fragments: short enough that a stop ends the read at once and
    // the arrival time of a block says when it was captured.
    av_dict_set_int(&options, "fragment_size", kMicrophoneSampleRate / 50 * kMicrophoneChannels * 2,
                    0);
    av_dict_set(&options, "name", "Lumora", 0);
    av_dict_set(&options, "stream_name", "Recording", 0);
    const int r = avformat_open_input(&m_input, source.c_str(), format, &options);
    av_dict_free(&options);
    if (r < 0) {
        *error = "cannot open PulseAudio source \"" + source + "\": " + avErrorText(r);
        return false;
    }
    m_packet = av_packet_alloc();
    return true;
}

bool PulseMicrophone::read(std::vector<int16_t>& samples, int64_t* firstSampleUs)
{
    samples.clear();
    if (!m_input || m_interrupted.load()) {
        return false;
    }
    const int r = av_read_frame(m_input, m_packet);
    if (r < 0) {
        return false;
    }
    const int64_t arrivalUs = av_gettime_relative();
    const size_t count = size_t(m_packet->size) / sizeof(int16_t);
    samples.resize(count);
    std::memcpy(samples.data(), m_packet->data, count * sizeof(int16_t));
    av_packet_unref(m_packet);
    const int64_t frames = int64_t(count) / kMicrophoneChannels;
    // The block was captured during the period that ended when it arrived.
    *firstSampleUs = arrivalUs - frames * 1000000 / kMicrophoneSampleRate;
    return true;
}

void PulseMicrophone::interrupt()
{
    m_interrupted.store(true);
}
