#pragma once

// Straightforward versions of the effect filters, written for clarity and
// not speed, that the fast ones are checked and measured against.
#include "frameconversion.h"

#include <QImage>
#include <QRandomGenerator>

#include <opencv2/imgproc.hpp>

namespace reference {

inline int clamp(qint64 v)
{
    if (v > 255) {
        return 255;
    }
    if (v <= 0) {
        return 0;
    }
    return int(v);
}

// Column by column, row by row, through QImage::pixel and setPixel.
inline QImage tone(const QImage& source, int redGreenAmount, int blueAmount)
{
    QImage result(source.size(), QImage::Format_RGB888);
    for (int x = 0; x < source.width(); ++x) {
        for (int y = 0; y < source.height(); ++y) {
            const QRgb p = source.pixel(x, y);
            result.setPixel(x, y,
                            qRgb(clamp(qint64(qRed(p)) + redGreenAmount),
                                 clamp(qint64(qGreen(p)) + redGreenAmount),
                                 clamp(qint64(qBlue(p)) + blueAmount)));
        }
    }
    return result;
}

inline QImage warmTone(int amount, const QImage& source)
{
    return tone(source, amount, 0);
}

inline QImage coolTone(int amount, const QImage& source)
{
    return tone(source, 0, amount);
}

// The blur and smoothing as a conversion to OpenCV, the filter, and back.
inline QImage blur(const QImage& source, int sigma)
{
    cv::Mat blurred;
    cv::GaussianBlur(QImageToMat(source), blurred, cv::Size(59, 59), double(sigma), 0);
    return MatToQImage(blurred);
}

inline QImage smooth(const QImage& source, int sigma)
{
    cv::Mat smoothed;
    cv::bilateralFilter(QImageToMat(source), smoothed, 5, double(sigma), double(sigma));
    return MatToQImage(smoothed);
}

inline QImage randomPicture(int width, int height, QImage::Format format, quint32 seed)
{
    QImage image(width, height, format);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int i = 0; i < image.bytesPerLine(); ++i) {
            row[i] = uchar(random.bounded(256));
        }
    }
    if (format == QImage::Format_Indexed8) {
        QVector<QRgb> table(256);
        for (QRgb& entry : table) {
            entry = qRgb(random.bounded(256), random.bounded(256), random.bounded(256));
        }
        image.setColorTable(table);
    }
    return image;
}

// A picture with smooth regions and edges, closer to a camera picture than
// noise: the bilateral filter's cost depends on how alike neighbours are.
inline QImage scenePicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const bool inside = (x / 97 + y / 61) % 2 == 0;
            row[3 * x] = uchar((x * 255) / width);
            row[3 * x + 1] = uchar(inside ? 180 : 60);
            row[3 * x + 2] = uchar(((y * 255) / height + random.bounded(9)) & 0xff);
        }
    }
    return image;
}

// Only the pixel bytes: padding at the end of rows is not compared.
inline bool samePixels(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.format() != b.format()) {
        return false;
    }
    const int rowBytes = (a.width() * a.depth() + 7) / 8;
    for (int y = 0; y < a.height(); ++y) {
        if (memcmp(a.constScanLine(y), b.constScanLine(y), size_t(rowBytes)) != 0) {
            return false;
        }
    }
    return true;
}

} // namespace reference
