#pragma once

#include "simulatedframerenderer.h"

#include <QImage>

// Which simulated camera a picture came from: each stamps the number of
// its device name into it. -1: no clear stamp.
inline int stampedIdentity(const QImage& picture)
{
    const SimulatedIdentityStamp stamp(picture.height());
    int identity = 0;
    for (int bit = 0; bit < SimulatedIdentityStamp::kBits; ++bit) {
        const int x = stamp.left(picture.width(), bit) + stamp.side / 2;
        const int gray = qGray(picture.pixel(x, stamp.side * 3 / 2));
        identity = gray > 64 && gray < 192 ? -256 : identity * 2 + (gray >= 192);
    }
    return std::max(-1, identity);
}
