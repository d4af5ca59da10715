#pragma once

#include <string>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace uvcdev {

// The H.264 a UVC camera's encoder sends through uvcvideo: Annex B access
// units, one per picture, the parameter sets before the key frame, no
// pictures reordered. libx264 on one thread, so that every process that
// loads the library sends the very same bytes.
class H264Encoder
{
public:
    H264Encoder(int width, int height);
    ~H264Encoder();
    H264Encoder(const H264Encoder&) = delete;
    H264Encoder& operator=(const H264Encoder&) = delete;

    bool ready() const { return m_ready; }
    // The next picture of the stream (the first is the key frame); empty
    // when the encoder failed.
    std::string encode(AVFrame* picture);

private:
    AVCodecContext* m_codec = nullptr;
    AVPacket* m_packet = nullptr;
    long long m_next = 0;
    bool m_ready = false;
};

} // namespace uvcdev
