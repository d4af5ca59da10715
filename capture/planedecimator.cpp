#include "planedecimator.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include <cstdint>

namespace {

// Three 8-bit planes, one byte a sample: the formats MJPEG decodes to, and
// the planar ones raw cameras send.
bool gatherable(const AVFrame* frame)
{
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(frame->format));
    if (!desc || !(desc->flags & AV_PIX_FMT_FLAG_PLANAR) || (desc->flags & AV_PIX_FMT_FLAG_RGB) ||
        desc->nb_components != 3) {
        return false;
    }
    for (int i = 0; i < 3; ++i) {
        if (desc->comp[i].depth != 8 || desc->comp[i].step != 1 || desc->comp[i].plane != i) {
            return false;
        }
    }
    return true;
}

// Pixel centres, as the window's nearest-pixel scaling picks them.
void buildTable(int source, int target, std::vector<int>& table)
{
    table.resize(size_t(target));
    for (int i = 0; i < target; ++i) {
        table[size_t(i)] = int((int64_t(i) * 2 + 1) * source / (int64_t(target) * 2));
    }
}

} // namespace

PlaneDecimator::~PlaneDecimator()
{
    av_frame_free(&m_frame);
}

bool PlaneDecimator::prepare(const AVFrame* source, int width, int height)
{
    if (!m_frame) {
        m_frame = av_frame_alloc();
    }
    if (!m_frame) {
        return false;
    }
    if (m_frame->width != width || m_frame->height != height || m_frame->format != source->format ||
        !m_frame->data[0]) {
        av_frame_unref(m_frame);
        m_frame->width = width;
        m_frame->height = height;
        m_frame->format = source->format;
        if (av_frame_get_buffer(m_frame, 0) < 0) {
            av_frame_unref(m_frame);
            return false;
        }
        m_srcWidth = 0;
    }
    if (m_srcWidth != source->width || m_srcHeight != source->height) {
        buildTable(source->width, width, m_columns);
        buildTable(source->height, height, m_rows);
        m_srcWidth = source->width;
        m_srcHeight = source->height;
    }
    m_frame->color_range = source->color_range;
    m_frame->colorspace = source->colorspace;
    return true;
}

const AVFrame* PlaneDecimator::shrink(const AVFrame* source, int width, int height)
{
    if (!source || width <= 0 || height <= 0 || width >= source->width ||
        height >= source->height || !gatherable(source) || !prepare(source, width, height)) {
        return nullptr;
    }
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(AVPixelFormat(source->format));
    for (int plane = 0; plane < 3; ++plane) {
        // A chroma sample stands for the target pixels it covers; it is the
        // one under the first of them.
        const int shiftX = plane ? desc->log2_chroma_w : 0;
        const int shiftY = plane ? desc->log2_chroma_h : 0;
        const int planeWidth = AV_CEIL_RSHIFT(width, shiftX);
        const int planeHeight = AV_CEIL_RSHIFT(height, shiftY);
        for (int y = 0; y < planeHeight; ++y) {
            const int sourceRow = m_rows[size_t(y << shiftY)] >> shiftY;
            const uint8_t* in = source->data[plane] + sourceRow * source->linesize[plane];
            uint8_t* out = m_frame->data[plane] + y * m_frame->linesize[plane];
            for (int x = 0; x < planeWidth; ++x) {
                out[x] = in[m_columns[size_t(x << shiftX)] >> shiftX];
            }
        }
    }
    return m_frame;
}
