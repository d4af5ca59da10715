#include "yuvconversion.h"

#include <cstddef>

namespace YuvConversion {

namespace {

// BT.601 studio-range coefficients in 16.16 fixed point, scaled from the
// 0..255 input range.
constexpr int fixedPoint(double coefficient)
{
    return int(coefficient * 65536.0 / 255.0 + (coefficient >= 0 ? 0.5 : -0.5));
}
constexpr int kYR = fixedPoint(65.481), kYG = fixedPoint(128.553), kYB = fixedPoint(24.966);
constexpr int kUR = fixedPoint(-37.797), kUG = fixedPoint(-74.203), kUB = fixedPoint(112.0);
constexpr int kVR = fixedPoint(112.0), kVG = fixedPoint(-93.786), kVB = fixedPoint(-18.214);
constexpr int kHalf = 1 << 15;

inline unsigned char luma(const unsigned char* p)
{
    return static_cast<unsigned char>(16 + ((kYR * p[0] + kYG * p[1] + kYB * p[2] + kHalf) >> 16));
}

// r, g, b are sums over `count` pixels; count is 2 or 4, shift its log2.
inline unsigned char chromaU(int r, int g, int b, int shift)
{
    return static_cast<unsigned char>(
        128 + ((kUR * r + kUG * g + kUB * b + (kHalf << shift)) >> (16 + shift)));
}

inline unsigned char chromaV(int r, int g, int b, int shift)
{
    return static_cast<unsigned char>(
        128 + ((kVR * r + kVG * g + kVB * b + (kHalf << shift)) >> (16 + shift)));
}

inline const unsigned char* sourceRow(const unsigned char* rgb, int width, int height, int y)
{
    return rgb + std::ptrdiff_t(height - 1 - y) * width * 3;
}

} // namespace

int frameBytes(Format format, int width, int height)
{
    return format == Format::Yuyv ? width * height * 2 : width * height * 3 / 2;
}

void bottomUpRgbToYuyv(const unsigned char* rgb, int width, int height, unsigned char* out)
{
    for (int y = 0; y < height; ++y) {
        const unsigned char* p = sourceRow(rgb, width, height, y);
        for (int x = 0; x < width; x += 2, p += 6, out += 4) {
            const int r = p[0] + p[3], g = p[1] + p[4], b = p[2] + p[5];
            out[0] = luma(p);
            out[1] = chromaU(r, g, b, 1);
            out[2] = luma(p + 3);
            out[3] = chromaV(r, g, b, 1);
        }
    }
}

void bottomUpRgbToI420(const unsigned char* rgb, int width, int height, unsigned char* out)
{
    unsigned char* planeY = out;
    unsigned char* planeU = out + std::ptrdiff_t(width) * height;
    unsigned char* planeV = planeU + std::ptrdiff_t(width / 2) * (height / 2);
    for (int y = 0; y < height; y += 2) {
        const unsigned char* top = sourceRow(rgb, width, height, y);
        const unsigned char* bottom = sourceRow(rgb, width, height, y + 1);
        unsigned char* lumaTop = planeY + std::ptrdiff_t(y) * width;
        unsigned char* lumaBottom = lumaTop + width;
        for (int x = 0; x < width; x += 2, top += 6, bottom += 6) {
            lumaTop[x] = luma(top);
            lumaTop[x + 1] = luma(top + 3);
            lumaBottom[x] = luma(bottom);
            lumaBottom[x + 1] = luma(bottom + 3);
            const int r = top[0] + top[3] + bottom[0] + bottom[3];
            const int g = top[1] + top[4] + bottom[1] + bottom[4];
            const int b = top[2] + top[5] + bottom[2] + bottom[5];
            *planeU++ = chromaU(r, g, b, 2);
            *planeV++ = chromaV(r, g, b, 2);
        }
    }
}

void bottomUpRgbTo(Format format, const unsigned char* rgb, int width, int height,
                   unsigned char* out)
{
    if (format == Format::Yuyv) {
        bottomUpRgbToYuyv(rgb, width, height, out);
    } else {
        bottomUpRgbToI420(rgb, width, height, out);
    }
}

} // namespace YuvConversion
