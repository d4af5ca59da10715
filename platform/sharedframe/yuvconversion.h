#pragma once

// RGB to the YUV layouts a V4L2 consumer takes, BT.601 with studio range
// (Y 16..235, U and V 16..240), the colour space V4L2 assumes for
// standard-definition YUV. Chroma is the mean of the pixels it covers: two
// side by side for YUYV, a 2 x 2 block for I420. The source rows are stored
// bottom-up, as in the shared frame record; the output is upright. Width and
// height must be even. Without Qt, for the virtual camera filter too.
namespace YuvConversion {

enum class Format
{
    Yuyv,
    I420
};

int frameBytes(Format format, int width, int height);

void bottomUpRgbToYuyv(const unsigned char* rgb, int width, int height, unsigned char* out);
void bottomUpRgbToI420(const unsigned char* rgb, int width, int height, unsigned char* out);
void bottomUpRgbTo(Format format, const unsigned char* rgb, int width, int height,
                   unsigned char* out);

} // namespace YuvConversion
