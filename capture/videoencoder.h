#pragma once

#include "audioencoder.h"

#include <cstdint>
#include <string>

struct AVCodecContext;
struct AVFrame;
struct SwsContext;

// H.264 (libx264) in yuv420p, the format every player takes, from decoded
// frames of any pixel format and size (they are converted and scaled to
// the encoder's size). Timestamps are microseconds from the recording's
// origin.
class VideoEncoder
{
public:
    VideoEncoder();
    ~VideoEncoder();
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;

    bool open(int width, int height, double fps, bool globalHeader, std::string* error);
    const AVCodecContext* context() const { return m_codec; }

    bool encode(const AVFrame* frame, int64_t timeUs, const PacketSink& sink);
    bool finish(const PacketSink& sink);

    // End of the last encoded picture (its time plus one frame period).
    int64_t endUs() const { return m_endUs; }
    int64_t framesEncoded() const { return m_framesEncoded; }

private:
    bool drainPackets(const PacketSink& sink);

    AVCodecContext* m_codec = nullptr;
    AVFrame* m_picture = nullptr;
    AVPacket* m_packet = nullptr;
    SwsContext* m_scaler = nullptr;
    bool m_sourceFullRange = false;
    int64_t m_framePeriodUs = 33333;
    int64_t m_lastPts = INT64_MIN;
    int64_t m_endUs = 0;
    int64_t m_framesEncoded = 0;
};

// Encoder settings shared with the comparison run of the ffmpeg program in
// the benchmarks.
namespace VideoEncoderSettings {
constexpr const char* preset = "veryfast";
constexpr int crf = 23;
} // namespace VideoEncoderSettings
