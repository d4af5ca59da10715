#include "pulsemicrophone.h"

extern "C" {
#include <libavutil/dict.h>
}

bool PulseMicrophone::open(const std::string& source, std::string* error)
{
    AVDictionary* options = nullptr;
    av_dict_set_int(&options, "sample_rate", kMicrophoneSampleRate, 0);
    av_dict_set_int(&options, "channels", kMicrophoneChannels, 0);
    // 20 ms fragments: short enough that a stop ends the read at once and
    // the arrival time of a block says when it was captured.
    av_dict_set_int(&options, "fragment_size", kMicrophoneSampleRate / 50 * kMicrophoneChannels * 2,
                    0);
    av_dict_set(&options, "name", "Lumora", 0);
    av_dict_set(&options, "stream_name", "Recording", 0);
    return openInput("pulse", source, options, error);
}
