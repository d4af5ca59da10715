#include "rgbconverter.h"

#include "rgbframe.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace {

// MJPEG decodes to the "J" formats, which libswscale treats as deprecated
// aliases and warns about; the plain format with a full-range flag is the
// same picture.
AVPixelFormat withoutJpegAlias(AVPixelFormat format, bool& fullRange)
{
    switch (format) {
    case AV_PIX_FMT_YUVJ420P:
        fullRange = true;
        return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
        fullRange = true;
        return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
        fullRange = true;
        return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
        fullRange = true;
        return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
        fullRange = true;
        return AV_PIX_FMT_YUV411P;
    default:
        return format;
    }
}

} // namespace

RgbConverter::~RgbConverter()
{
    sws_freeContext(m_context);
}

bool RgbConverter::prepare(const AVFrame* frame, int width, int height)
{
    bool fullRange = frame->color_range == AVCOL_RANGE_JPEG;
    const AVPixelFormat format = withoutJpegAlias(AVPixelFormat(frame->format), fullRange);
    if (m_context && frame->width == m_srcWidth && frame->height == m_srcHeight &&
        format == m_srcFormat && fullRange == m_srcFullRange && width == m_dstWidth &&
        height == m_dstHeight) {
        return true;
    }
    sws_freeContext(m_context);
    // Same size: the fast unscaled converters run regardless of the
    // filter. Scaled: bilinear is the usual balance of cost and look, unless
    // the owner asked for the nearest pixel. The fast converters work on
    // pixel pairs and leave the last column of an odd-width picture black;
    // the exact path does not.
    const bool shrinking = width < frame->width && height < frame->height;
    int flags = m_scaling == Scaling::Nearest && shrinking ? SWS_POINT : SWS_BILINEAR;
    if ((width & 1) || (frame->width & 1)) {
        flags |= SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;
    }
    m_context = sws_getContext(frame->width, frame->height, format, width, height, AV_PIX_FMT_RGB24,
                               flags, nullptr, nullptr, nullptr);
    if (!m_context) {
        m_srcFormat = -1;
        return false;
    }
    const int* coefficients =
        sws_getCoefficients(frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_ITU601);
    sws_setColorspaceDetails(m_context, coefficients, fullRange ? 1 : 0, coefficients, 1, 0,
                             1 << 16, 1 << 16);
    m_srcWidth = frame->width;
    m_srcHeight = frame->height;
    m_srcFormat = format;
    m_srcFullRange = fullRange;
    m_dstWidth = width;
    m_dstHeight = height;
    return true;
}

bool RgbConverter::convert(const AVFrame* frame, int width, int height, RgbFrame& out)
{
    if (!frame || frame->width <= 0 || frame->height <= 0 || width <= 0 || height <= 0) {
        return false;
    }
    if (!prepare(frame, width, height) || !out.resize(width, height)) {
        return false;
    }
    uint8_t* planes[4] = {out.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {out.stride(), 0, 0, 0};
    return sws_scale(m_context, frame->data, frame->linesize, 0, frame->height, planes, strides) ==
           height;
}
