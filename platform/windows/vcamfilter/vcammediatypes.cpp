#include "vcammediatypes.h"

#include <cstring>

namespace VcamMediaTypes {

namespace {

const DWORD kYuy2FourCc = MAKEFOURCC('Y', 'U', 'Y', '2');

const GUID& subtypeOf(Format format)
{
    return format == Format::Rgb24 ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_YUY2;
}

bool intervalFits(REFERENCE_TIME interval)
{
    // 0 leaves the rate to the source; callers compute 1/30 s their own way.
    return interval == 0 || (interval >= kFramePeriod - 10 && interval <= kFramePeriod + 10);
}

bool headerFits(Format format, const BITMAPINFOHEADER& header)
{
    // A negative height asks for a top-down RGB picture, which is not offered.
    if (header.biWidth != kWidth || header.biHeight != kHeight) {
        return false;
    }
    if (format == Format::Rgb24) {
        return header.biBitCount == 24 && header.biCompression == BI_RGB;
    }
    return header.biBitCount == 16 && header.biCompression == kYuy2FourCc;
}

bool formatFits(Format format, const AM_MEDIA_TYPE& type)
{
    if (type.formattype == GUID_NULL) {
        return true;
    }
    if (type.formattype == FORMAT_VideoInfo && type.cbFormat >= sizeof(VIDEOINFOHEADER) &&
        type.pbFormat) {
        const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
        return intervalFits(info->AvgTimePerFrame) && headerFits(format, info->bmiHeader);
    }
    return false;
}

} // namespace

Format formatAt(int index)
{
    return index == 0 ? Format::Rgb24 : Format::Yuy2;
}

int imageBytes(Format format)
{
    return kWidth * kHeight * (format == Format::Rgb24 ? 3 : 2);
}

REFERENCE_TIME frameTime(LONGLONG frame)
{
    return frame * kUnitsPerSecond / kFramesPerSecond;
}

HRESULT fill(Format format, AM_MEDIA_TYPE* type)
{
    auto* info = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (!info) {
        return E_OUTOFMEMORY;
    }
    std::memset(info, 0, sizeof(*info));
    const int bytes = imageBytes(format);
    info->dwBitRate = DWORD(bytes) * 8 * kFramesPerSecond;
    info->AvgTimePerFrame = kFramePeriod;
    BITMAPINFOHEADER& header = info->bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = kWidth;
    header.biHeight = kHeight;
    header.biPlanes = 1;
    header.biBitCount = format == Format::Rgb24 ? 24 : 16;
    header.biCompression = format == Format::Rgb24 ? BI_RGB : kYuy2FourCc;
    header.biSizeImage = DWORD(bytes);

    std::memset(type, 0, sizeof(*type));
    type->majortype = MEDIATYPE_Video;
    type->subtype = subtypeOf(format);
    type->bFixedSizeSamples = TRUE;
    type->bTemporalCompression = FALSE;
    type->lSampleSize = ULONG(bytes);
    type->formattype = FORMAT_VideoInfo;
    type->cbFormat = sizeof(VIDEOINFOHEADER);
    type->pbFormat = reinterpret_cast<BYTE*>(info);
    return S_OK;
}

AM_MEDIA_TYPE* create(Format format)
{
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (type && FAILED(fill(format, type))) {
        CoTaskMemFree(type);
        return nullptr;
    }
    return type;
}

void clear(AM_MEDIA_TYPE& type)
{
    CoTaskMemFree(type.pbFormat);
    type.pbFormat = nullptr;
    type.cbFormat = 0;
    if (type.pUnk) {
        type.pUnk->Release();
        type.pUnk = nullptr;
    }
}

void destroy(AM_MEDIA_TYPE* type)
{
    if (type) {
        clear(*type);
        CoTaskMemFree(type);
    }
}

HRESULT copy(const AM_MEDIA_TYPE& from, AM_MEDIA_TYPE* to)
{
    *to = from;
    if (from.cbFormat && from.pbFormat) {
        to->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(from.cbFormat));
        if (!to->pbFormat) {
            to->cbFormat = 0;
            to->pUnk = nullptr;
            return E_OUTOFMEMORY;
        }
        std::memcpy(to->pbFormat, from.pbFormat, from.cbFormat);
    } else {
        to->pbFormat = nullptr;
        to->cbFormat = 0;
    }
    if (to->pUnk) {
        to->pUnk->AddRef();
    }
    return S_OK;
}

bool fits(const AM_MEDIA_TYPE& type, Format format)
{
    return (type.majortype == GUID_NULL || type.majortype == MEDIATYPE_Video) &&
           (type.subtype == GUID_NULL || type.subtype == subtypeOf(format)) &&
           formatFits(format, type);
}

bool match(const AM_MEDIA_TYPE* type, Format* format)
{
    for (int i = 0; type && i < kFormatCount; ++i) {
        if (fits(*type, formatAt(i))) {
            *format = formatAt(i);
            return true;
        }
    }
    return false;
}

void fillCaps(Format format, VIDEO_STREAM_CONFIG_CAPS* caps)
{
    std::memset(caps, 0, sizeof(*caps));
    caps->guid = FORMAT_VideoInfo;
    const SIZE size = {kWidth, kHeight};
    caps->InputSize = size;
    caps->MinCroppingSize = size;
    caps->MaxCroppingSize = size;
    caps->MinOutputSize = size;
    caps->MaxOutputSize = size;
    caps->CropGranularityX = 1;
    caps->CropGranularityY = 1;
    caps->OutputGranularityX = 1;
    caps->OutputGranularityY = 1;
    caps->MinFrameInterval = kFramePeriod;
    caps->MaxFrameInterval = kFramePeriod;
    const LONG bits = imageBytes(format) * 8 * kFramesPerSecond;
    caps->MinBitsPerSecond = bits;
    caps->MaxBitsPerSecond = bits;
}

} // namespace VcamMediaTypes
