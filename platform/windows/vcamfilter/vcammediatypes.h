#pragma once

#include "dshowheaders.h"

// The formats the virtual camera offers: 640 x 480 at 30 frames a second,
// as RGB24 (a bottom-up DIB, as DirectShow's RGB types are) or YUY2.
namespace VcamMediaTypes {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kFramesPerSecond = 30;
constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;
constexpr REFERENCE_TIME kFramePeriod = kUnitsPerSecond / kFramesPerSecond;

enum class Format
{
    Rgb24,
    Yuy2
};
constexpr int kFormatCount = 2;

Format formatAt(int index);
int imageBytes(Format format);
// The start of frame n, counted from the start of streaming; the period
// alternates by one unit so that 30 frames are exactly one second.
REFERENCE_TIME frameTime(LONGLONG frame);

// Fills a media type of the format; its format block comes from
// CoTaskMemAlloc, as the callers of IAMStreamConfig and IEnumMediaTypes
// free it.
HRESULT fill(Format format, AM_MEDIA_TYPE* type);
AM_MEDIA_TYPE* create(Format format);
void clear(AM_MEDIA_TYPE& type);
void destroy(AM_MEDIA_TYPE* type);
HRESULT copy(const AM_MEDIA_TYPE& from, AM_MEDIA_TYPE* to);

// Whether the type asks for the format. A partial type (GUID_NULL parts)
// asks for any that fits the rest; another size or a frame interval other
// than 30 fps asks for none.
bool fits(const AM_MEDIA_TYPE& type, Format format);
// The first format the type asks for.
bool match(const AM_MEDIA_TYPE* type, Format* format);
void fillCaps(Format format, VIDEO_STREAM_CONFIG_CAPS* caps);

} // namespace VcamMediaTypes
