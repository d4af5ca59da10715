#include "rgbframe.h"

extern "C" {
#include <libavutil/mem.h>
}

#include <utility>

RgbFrame::~RgbFrame()
{
    av_free(m_data);
}

RgbFrame::RgbFrame(RgbFrame&& other) noexcept
{
    swap(other);
}

RgbFrame& RgbFrame::operator=(RgbFrame&& other) noexcept
{
    RgbFrame moved(std::move(other));
    swap(moved);
    return *this;
}

bool RgbFrame::resize(int width, int height)
{
    if (width <= 0 || height <= 0) {
        m_width = m_height = 0;
        return false;
    }
    // libswscale's vector paths read and write a little past the last
    // pixel of a row; the padding keeps that inside the buffer.
    const size_t needed = size_t(strideFor(width)) * size_t(height) + 64;
    if (needed > m_capacity) {
        av_free(m_data);
        m_data = static_cast<uint8_t*>(av_malloc(needed));
        m_capacity = m_data ? needed : 0;
    }
    if (!m_data) {
        m_width = m_height = 0;
        return false;
    }
    m_width = width;
    m_height = height;
    return true;
}

void RgbFrame::swap(RgbFrame& other) noexcept
{
    std::swap(m_data, other.m_data);
    std::swap(m_capacity, other.m_capacity);
    std::swap(m_width, other.m_width);
    std::swap(m_height, other.m_height);
}
