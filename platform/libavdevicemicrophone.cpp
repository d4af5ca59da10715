#include "libavdevicemicrophone.h"

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

LibavdeviceMicrophone::~LibavdeviceMicrophone()
{
    av_packet_free(&m_packet);
    avformat_close_input(&m_input);
}

int LibavdeviceMicrophone::interruptCallback(void* opaque)
{
    return static_cast<LibavdeviceMicrophone*>(opaque)->m_interrupted.load() ? 1 : 0;
}

bool LibavdeviceMicrophone::openInput(const char* inputName, const std::string& url,
                                      AVDictionary* options, std::string* error)
{
    static std::once_flag registered;
    std::call_once(registered, [] { avdevice_register_all(); });
    const AVInputFormat* format = av_find_input_format(inputName);
    if (!format) {
        av_dict_free(&options);
        *error = std::string("this FFmpeg has no ") + inputName + " input";
        return false;
    }
    m_input = avformat_alloc_context();
    m_input->interrupt_callback = {&LibavdeviceMicrophone::interruptCallback, this};
    const int r = avformat_open_input(&m_input, url.c_str(), format, &options);
    av_dict_free(&options);
    if (r < 0) {
        *error =
            "cannot open " + std::string(inputName) + " input \"" + url + "\": " + avErrorText(r);
        return false;
    }
    m_packet = av_packet_alloc();
    return true;
}

bool LibavdeviceMicrophone::read(std::vector<int16_t>& samples, int64_t* firstSampleUs)
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

void LibavdeviceMicrophone::interrupt()
{
    m_interrupted.store(true);
}
