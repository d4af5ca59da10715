#include "videoencoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cmath>

namespace {

// 90 kHz, the customary video clock of MP4 and MPEG: fine enough for the
// camera's capture times, small enough for every player.
constexpr AVRational kTimeBase{1, 90000};

// The JPEG variants of the YUV formats (what MJPEG decodes to) are the
// plain formats with full-range samples; libswscale wants them said so.
AVPixelFormat plainFormat(AVPixelFormat format, bool* fullRange)
{
    *fullRange = true;
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
        return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
        return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
        return AV_PIX_FMT_YUV411P;
    default:
        *fullRange = false;
        return format;
    }
}

} // namespace

VideoEncoder::VideoEncoder() = default;

VideoEncoder::~VideoEncoder()
{
    sws_freeContext(m_scaler);
    av_packet_free(&m_packet);
    av_frame_free(&m_picture);
    avcodec_free_context(&m_codec);
}

bool VideoEncoder::open(int width, int height, double fps, bool globalHeader, std::string* error)
{
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) {
        *error = "no libx264 encoder";
        return false;
    }
    if (fps <= 0.0) {
        fps = 30.0;
    }
    m_framePeriodUs = int64_t(std::llround(1000000.0 / fps));
    m_codec = avcodec_alloc_context3(codec);
    m_codec->width = width & ~1;
    m_codec->height = height & ~1;
    m_codec->pix_fmt = AV_PIX_FMT_YUV420P;
    m_codec->time_base = kTimeBase;
    m_codec->framerate = av_d2q(fps, 1000);
    // A keyframe every second: each fragment of the file then holds one
    // second, which bounds what a crash can lose.
    m_codec->gop_size = int(std::lround(fps));
    m_codec->keyint_min = m_codec->gop_size;
    // No B-frames: pictures leave the encoder in capture order, so the
    // file's first picture is at its capture time and fragments close
    // without reordering delay.
    m_codec->max_b_frames = 0;
    m_codec->thread_count = 0;
    if (globalHeader) {
        m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    av_opt_set(m_codec->priv_data, "preset", VideoEncoderSettings::preset, 0);
    av_opt_set_int(m_codec->priv_data, "crf", VideoEncoderSettings::crf, 0);
    const int r = avcodec_open2(m_codec, codec, nullptr);
    if (r < 0) {
        *error = "cannot open the H.264 encoder";
        return false;
    }
    m_picture = av_frame_alloc();
    m_picture->format = m_codec->pix_fmt;
    m_picture->width = m_codec->width;
    m_picture->height = m_codec->height;
    if (av_frame_get_buffer(m_picture, 0) < 0) {
        *error = "out of memory";
        return false;
    }
    m_packet = av_packet_alloc();
    return true;
}

bool VideoEncoder::encode(const AVFrame* frame, int64_t timeUs, const PacketSink& sink)
{
    const int64_t pts = av_rescale_q(timeUs, AVRational{1, 1000000}, kTimeBase);
    if (pts <= m_lastPts) {
        return true; // two frames on one tick: the encoder needs rising times
    }
    bool fullRange = false;
    const AVPixelFormat source = plainFormat(AVPixelFormat(frame->format), &fullRange);
    fullRange = fullRange || frame->color_range == AVCOL_RANGE_JPEG;
    SwsContext* previous = m_scaler;
    m_scaler = sws_getCachedContext(m_scaler, frame->width, frame->height, source, m_codec->width,
                                    m_codec->height, m_codec->pix_fmt, SWS_BILINEAR, nullptr,
                                    nullptr, nullptr);
    if (!m_scaler || av_frame_make_writable(m_picture) < 0) {
        return false;
    }
    if (m_scaler != previous || fullRange != m_sourceFullRange) {
        const int* coefficients = sws_getCoefficients(SWS_CS_DEFAULT);
        sws_setColorspaceDetails(m_scaler, coefficients, fullRange ? 1 : 0, coefficients, 0, 0,
                                 1 << 16, 1 << 16);
        m_sourceFullRange = fullRange;
    }
    sws_scale(m_scaler, frame->data, frame->linesize, 0, frame->height, m_picture->data,
              m_picture->linesize);
    m_picture->pts = pts;
    m_lastPts = pts;
    if (avcodec_send_frame(m_codec, m_picture) < 0) {
        return false;
    }
    m_endUs = timeUs + m_framePeriodUs;
    ++m_framesEncoded;
    return drainPackets(sink);
}

bool VideoEncoder::drainPackets(const PacketSink& sink)
{
    return drainEncodedPackets(m_codec, m_packet, [this, &sink](AVPacket* packet) {
        // The last picture lasts one frame period, so the file's length is
        // the recorded time.
        packet->duration = av_rescale_q(m_framePeriodUs, AVRational{1, 1000000}, kTimeBase);
        return sink(packet);
    });
}

bool VideoEncoder::finish(const PacketSink& sink)
{
    if (!m_codec) {
        return true;
    }
    avcodec_send_frame(m_codec, nullptr);
    return drainPackets(sink);
}
