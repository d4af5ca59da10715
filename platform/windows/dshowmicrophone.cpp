#include "dshowmicrophone.h"

extern "C" {
#include <libavutil/dict.h>
}

bool DshowMicrophone::open(const std::string& name, int ordinal, std::string* error)
{
    AVDictionary* options = nullptr;
    av_dict_set_int(&options, "sample_rate", kMicrophoneSampleRate, 0);
    av_dict_set_int(&options, "channels", kMicrophoneChannels, 0);
    av_dict_set_int(&options, "sample_size", 16, 0);
    // 20 ms buffers: a stop ends the read at once, and the arrival time of a
    // block says when it was captured.
    av_dict_set_int(&options, "audio_buffer_size", 20, 0);
    // Microphones of identical cameras share their name.
    av_dict_set_int(&options, "audio_device_number", ordinal, 0);
    return openInput("dshow", "audio=" + name, options, error);
}
