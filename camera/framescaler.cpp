#include "framescaler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

int clampIndex(qint64 index, int size)
{
    return index < 0 ? 0 : (index >= size ? size - 1 : int(index));
}

// Source column of each target column, in the 16.16 fixed point Qt's
// raster engine steps along a row with: step = (source << 16) / target,
// first sample half a step in, less one unit.
void buildColumnTable(int source, int target, std::vector<int>& table)
{
    table.resize(target);
    const qint64 step = (qint64(source) << 16) / target;
    qint64 position = (step >> 1) - 1;
    for (int i = 0; i < target; ++i, position += step) {
        table[i] = clampIndex(position >> 16, source);
    }
}

// Source row of each target row: Qt computes rows in floating point, at the
// row's centre less one fixed-point unit. Matching both to the unit keeps
// the pixels identical.
void buildRowTable(int source, int target, std::vector<int>& table)
{
    table.resize(target);
    const double ratio = double(source) / target;
    for (int i = 0; i < target; ++i) {
        table[i] = clampIndex(qint64(std::floor((i + 0.5) * ratio - 1.0 / 65536)), source);
    }
}

// Scales source (RGB888) into the area of target, RGB888 or RGB32.
void scaleRows(const QImage& source, QImage& target, const QRect& area)
{
    std::vector<int> columns;
    std::vector<int> rows;
    buildColumnTable(source.width(), area.width(), columns);
    buildRowTable(source.height(), area.height(), rows);
    for (int& column : columns) {
        column *= 3;
    }
    const bool toRgb32 = target.format() == QImage::Format_RGB32;
    for (int y = 0; y < area.height(); ++y) {
        const uchar* in = source.constScanLine(rows[y]);
        if (toRgb32) {
            auto* out = reinterpret_cast<quint32*>(target.scanLine(area.y() + y)) + area.x();
            for (int x = 0; x < area.width(); ++x) {
                const uchar* pixel = in + columns[x];
                out[x] = 0xff000000u | quint32(pixel[0]) << 16 | quint32(pixel[1]) << 8 | pixel[2];
            }
            continue;
        }
        uchar* out = target.scanLine(area.y() + y) + area.x() * 3;
        for (int x = 0; x < area.width(); ++x, out += 3) {
            const uchar* pixel = in + columns[x];
            out[0] = pixel[0];
            out[1] = pixel[1];
            out[2] = pixel[2];
        }
    }
}

// Black everywhere outside the area; the bars are written for every frame,
// since a reused target may hold a picture of another shape.
void fillBars(QImage& target, const QRect& area)
{
    // RGB32 wants its unused byte at 0xff: black is 0xff000000 there.
    const bool rgb32 = target.format() == QImage::Format_RGB32;
    const auto blacken = [&](uchar* row, int from, int count) {
        if (rgb32) {
            std::fill_n(reinterpret_cast<quint32*>(row) + from, count, 0xff000000u);
        } else {
            std::memset(row + from * 3, 0, size_t(count) * 3);
        }
    };
    for (int y = 0; y < target.height(); ++y) {
        uchar* row = target.scanLine(y);
        if (y < area.top() || y > area.bottom()) {
            blacken(row, 0, target.width());
            continue;
        }
        blacken(row, 0, area.x());
        const int right = area.x() + area.width();
        blacken(row, right, target.width() - right);
    }
}

bool bothRgb888(const QImage& source, const QImage& target)
{
    return source.format() == QImage::Format_RGB888 && target.format() == QImage::Format_RGB888 &&
           !source.isNull() && !target.isNull();
}

bool rgb888IntoRgb32(const QImage& source, const QImage& target)
{
    return source.format() == QImage::Format_RGB888 && target.format() == QImage::Format_RGB32 &&
           !source.isNull() && !target.isNull();
}

} // namespace

QImage scaleNearest(const QImage& source, int width, int height)
{
    if (source.format() != QImage::Format_RGB888 || source.isNull() || width <= 0 || height <= 0) {
        return source.scaled(width, height, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    }
    QImage target(width, height, QImage::Format_RGB888);
    if (!target.isNull()) {
        scaleNearestInto(source, target);
    }
    return target;
}

void scaleNearestInto(const QImage& source, QImage& target)
{
    if (!bothRgb888(source, target)) {
        target = scaleNearest(source, target.width(), target.height());
        return;
    }
    scaleRows(source, target, target.rect());
}

QRect fittedRect(const QSize& picture, const QSize& box)
{
    if (picture.isEmpty() || box.isEmpty()) {
        return QRect(QPoint(0, 0), box);
    }
    const QSize size = picture.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    return QRect(QPoint((box.width() - size.width()) / 2, (box.height() - size.height()) / 2),
                 size);
}

void scaleFittedInto(const QImage& source, QImage& target)
{
    if (!bothRgb888(source, target) && !rgb888IntoRgb32(source, target)) {
        target = scaleFitted(source, target.width(), target.height());
        return;
    }
    const QRect area = fittedRect(source.size(), target.size());
    fillBars(target, area);
    scaleRows(source, target, area);
}

QImage scaleFitted(const QImage& source, int width, int height)
{
    if (source.isNull() || width <= 0 || height <= 0) {
        return QImage();
    }
    QImage target(width, height, QImage::Format_RGB888);
    if (!target.isNull()) {
        // Other formats are converted first, so the bars and the scaling
        // stay the same.
        scaleFittedInto(source.convertToFormat(QImage::Format_RGB888), target);
    }
    return target;
}
