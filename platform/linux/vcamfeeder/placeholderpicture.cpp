#include "placeholderpicture.h"

namespace PlaceholderPicture {

void barColour(int x, int width, uchar rgb[3])
{
    // Counted from black at the right, a bar's index holds its green, red
    // and blue in bits 2, 1 and 0.
    constexpr uchar kLevel = 191;
    const int bar = 7 - qBound(0, x * 8 / width, 7);
    rgb[0] = (bar & 2) ? kLevel : 0;
    rgb[1] = (bar & 4) ? kLevel : 0;
    rgb[2] = (bar & 1) ? kLevel : 0;
}

QByteArray bottomUpRgb(int width, int height)
{
    QByteArray row(width * 3, Qt::Uninitialized);
    for (int x = 0; x < width; ++x) {
        barColour(x, width, reinterpret_cast<uchar*>(row.data()) + x * 3);
    }
    QByteArray picture;
    picture.reserve(row.size() * height);
    for (int y = 0; y < height; ++y) {
        picture.append(row);
    }
    return picture;
}

} // namespace PlaceholderPicture
