#include "decodedpicture.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <utility>

DecodedPicture::~DecodedPicture()
{
    av_frame_free(&m_frame);
}

bool DecodedPicture::keep(const AVFrame* frame)
{
    if (!m_frame) {
        m_frame = av_frame_alloc();
    }
    if (!m_frame) {
        return false;
    }
    av_frame_unref(m_frame);
    return frame && av_frame_ref(m_frame, frame) >= 0;
}

void DecodedPicture::release()
{
    if (m_frame) {
        av_frame_unref(m_frame);
    }
}

const AVFrame* DecodedPicture::frame() const
{
    return m_frame && m_frame->data[0] && m_frame->width > 0 ? m_frame : nullptr;
}

void DecodedPicture::swap(DecodedPicture& other) noexcept
{
    std::swap(m_frame, other.m_frame);
}
