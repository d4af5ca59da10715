#include "uvch264encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

namespace uvcdev {

H264Encoder::H264Encoder(int width, int height) : m_packet(av_packet_alloc())
{
    const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
    m_codec = x264 ? avcodec_alloc_context3(x264) : nullptr;
    if (!m_codec || !m_packet)
        return;
    m_codec->width = width;
    m_codec->height = height;
    m_codec->pix_fmt = AV_PIX_FMT_YUVJ420P;
    m_codec->time_base = {1, 30};
    m_codec->framerate = {30, 1};
    m_codec->thread_count = 1;
    m_codec->max_b_frames = 0;
    // Cut where the scene changes, x264 would add key frames of its own.
    av_opt_set(m_codec->priv_data, "preset", "ultrafast", 0);
    av_opt_set(m_codec->priv_data, "tune", "zerolatency", 0);
    av_opt_set(m_codec->priv_data, "x264-params", "scenecut=0:keyint=infinite:log=-1", 0);
    m_ready = avcodec_open2(m_codec, x264, nullptr) >= 0;
}

H264Encoder::~H264Encoder()
{
    avcodec_free_context(&m_codec);
    av_packet_free(&m_packet);
}

std::string H264Encoder::encode(AVFrame* picture)
{
    std::string out;
    picture->pts = m_next++;
    if (!m_ready || avcodec_send_frame(m_codec, picture) < 0)
        return out;
    // Without lookahead or reordering every picture comes out at once.
    while (avcodec_receive_packet(m_codec, m_packet) >= 0) {
        out.append(reinterpret_cast<const char*>(m_packet->data), size_t(m_packet->size));
        av_packet_unref(m_packet);
    }
    return out;
}

} // namespace uvcdev
