#include "framedecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

void FrameDecoder::CodecDeleter::operator()(AVCodecContext* context) const
{
    avcodec_free_context(&context);
}

void FrameDecoder::FrameDeleter::operator()(AVFrame* frame) const
{
    av_frame_free(&frame);
}

FrameDecoder::FrameDecoder() : m_frame(av_frame_alloc()) {}

FrameDecoder::~FrameDecoder() = default;

bool FrameDecoder::open(const AVCodecParameters* parameters, int threads)
{
    m_context.reset();
    if (!parameters || !m_frame) {
        return false;
    }
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec) {
        return false;
    }
    std::unique_ptr<AVCodecContext, CodecDeleter> context(avcodec_alloc_context3(codec));
    if (!context || avcodec_parameters_to_context(context.get(), parameters) < 0) {
        return false;
    }
    context->thread_count = threads;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        return false;
    }
    m_context = std::move(context);
    return true;
}

const AVFrame* FrameDecoder::decode(const AVPacket* packet)
{
    if (!m_context) {
        return nullptr;
    }
    // A damaged picture from the camera is dropped; the next one decodes
    // on its own, as every MJPEG or raw picture is self-contained.
    if (avcodec_send_packet(m_context.get(), packet) < 0) {
        return nullptr;
    }
    av_frame_unref(m_frame.get());
    if (avcodec_receive_frame(m_context.get(), m_frame.get()) < 0) {
        return nullptr;
    }
    return m_frame.get();
}
