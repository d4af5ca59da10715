// The ffmpeg command line as the peer of Lumora's recorder: its video
// encoder options set as the recorder sets its own, so that both encode
// alike (libx264, the same preset, quality and key-frame interval, no
// B-frames, 4:2:0).
#pragma once

#include "videoencoder.h"

#include <string>
#include <vector>

inline void addLumoraLikeX264(std::vector<std::string>& args, const std::string& gop)
{
    args.insert(args.end(), {"-c:v", "libx264", "-preset", VideoEncoderSettings::preset, "-crf",
                             std::to_string(VideoEncoderSettings::crf), "-g", gop, "-bf", "0",
                             "-pix_fmt", "yuv420p"});
}
