#include "colourbars.h"

#include <algorithm>
#include <cstring>

namespace ColourBars {

void barColour(int x, int width, unsigned char rgb[3])
{
    // Counted from black at the right, a bar's index holds its green, red
    // and blue in bits 2, 1 and 0.
    constexpr unsigned char kLevel = 191;
    const int bar = 7 - std::clamp(x * 8 / width, 0, 7);
    rgb[0] = (bar & 2) ? kLevel : 0;
    rgb[1] = (bar & 4) ? kLevel : 0;
    rgb[2] = (bar & 1) ? kLevel : 0;
}

void fillBottomUpRgb(unsigned char* out, int width, int height)
{
    for (int x = 0; x < width; ++x) {
        barColour(x, width, out + x * 3);
    }
    const std::size_t rowBytes = std::size_t(width) * 3;
    for (int y = 1; y < height; ++y) {
        std::memcpy(out + rowBytes * std::size_t(y), out, rowBytes);
    }
}

} // namespace ColourBars
