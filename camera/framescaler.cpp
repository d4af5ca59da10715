#include "framescaler.h"

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

// Scales source into the area of target, which must both be RGB888.
void scaleRows(const QImage& source, QImage& target, const QRect& area)
{
    std::vector<int> columns;
    std::vector<int> rows;
    buildColumnTable(source.width(), area.width(), columns);
    buildRowTable(source.height(), area.height(), rows);
    for (int& column : columns) {
        column *= 3;
    }
    for (int y = 0; y < area.height(); ++y) {
        const uchar* in = source.constScanLine(rows[y]);
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
    const size_t rowBytes = size_t(target.width()) * 3;
    for (int y = 0; y < target.height(); ++y) {
        uchar* row = target.scanLine(y);
        if (y < area.top() || y > area.bottom()) {
            std::memset(row, 0, rowBytes);
            continue;
        }
        std::memset(row, 0, size_t(area.x()) * 3);
        const size_t right = size_t(area.x() + area.width()) * 3;
        std::memset(row + right, 0, rowBytes - right);
    }
}

bool bothRgb888(const QImage& source, const QImage& target)
{
    return source.format() == QImage::Format_RGB888 && target.format() == QImage::Format_RGB888 &&
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
    if (!bothRgb888(source, target)) {
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
