#include "frameproducer.h"

#include "colourbars.h"
#include "yuvconversion.h"

namespace {

// As long as the Linux feeder keeps a last frame.
constexpr ULONGLONG kHoldMs = 500;

// The record's rows are bottom-up, as an RGB24 DIB's are; only the byte
// order of a pixel differs (R, G, B against B, G, R).
void bottomUpRgbToRgb24Dib(const unsigned char* rgb, unsigned char* out)
{
    const int pixels = FrameRecord::kWidth * FrameRecord::kHeight;
    for (int i = 0; i < pixels; ++i, rgb += 3, out += 3) {
        out[0] = rgb[2];
        out[1] = rgb[1];
        out[2] = rgb[0];
    }
}

} // namespace

FrameProducer::FrameProducer()
    : m_pixels(FrameRecord::kPixelBytes), m_frame(FrameRecord::kPixelBytes),
      m_bars(FrameRecord::kPixelBytes)
{
    ColourBars::fillBottomUpRgb(m_bars.data(), FrameRecord::kWidth, FrameRecord::kHeight);
}

const unsigned char* FrameProducer::currentPicture()
{
    const ULONGLONG now = GetTickCount64();
    if (m_view.read(m_pixels.data()) == SharedFrameView::Result::Frame) {
        m_frame.swap(m_pixels);
        m_haveFrame = true;
        m_lastFrameMs = now;
    }
    if (m_haveFrame && now - m_lastFrameMs <= kHoldMs) {
        return m_frame.data();
    }
    m_haveFrame = false;
    return m_bars.data();
}

void FrameProducer::produce(VcamMediaTypes::Format format, unsigned char* out)
{
    const unsigned char* picture = currentPicture();
    if (format == VcamMediaTypes::Format::Rgb24) {
        bottomUpRgbToRgb24Dib(picture, out);
    } else {
        YuvConversion::bottomUpRgbToYuyv(picture, FrameRecord::kWidth, FrameRecord::kHeight, out);
    }
}
