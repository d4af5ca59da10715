#pragma once

#include <QImage>

#include <cmath>

// How far two pictures are apart: the mean difference per byte, below the
// clock the simulated camera stamps at the top. 255 for pictures that
// cannot be compared.
inline double pictureDifference(const QImage& first, const QImage& second)
{
    const QImage a = first.convertToFormat(QImage::Format_RGB888);
    const QImage b = second.convertToFormat(QImage::Format_RGB888);
    if (a.isNull() || a.size() != b.size()) {
        return 255;
    }
    double sum = 0;
    const int top = a.height() / 5;
    for (int y = top; y < a.height(); ++y) {
        for (int x = 0; x < a.width() * 3; ++x) {
            sum += std::abs(a.constScanLine(y)[x] - b.constScanLine(y)[x]);
        }
    }
    return sum / (double(a.height() - top) * a.width() * 3);
}
