#pragma once

#include <memory>

struct AVCodecContext;
struct AVCodecParameters;
struct AVFrame;
struct AVPacket;

// Turns the packets of one capture stream (MJPEG, H.264, or raw pictures
// such as YUYV, which libavcodec "decodes" as well) into frames.
class FrameDecoder
{
public:
    FrameDecoder();
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // threads: 1 keeps the whole capture on its worker thread; 0 lets
    // libavcodec choose.
    bool open(const AVCodecParameters* parameters, int threads = 1);

    // The decoded picture, owned by the decoder and valid until the next
    // call; null when the packet gave none (damaged, or the decoder wants
    // more input).
    const AVFrame* decode(const AVPacket* packet);

private:
    struct CodecDeleter
    {
        void operator()(AVCodecContext* context) const;
    };
    struct FrameDeleter
    {
        void operator()(AVFrame* frame) const;
    };
    std::unique_ptr<AVCodecContext, CodecDeleter> m_context;
    std::unique_ptr<AVFrame, FrameDeleter> m_frame;
};
