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
    const int width = target.width();
    const int height = target.height();
    if (source.format() != QImage::Format_RGB888 || target.format() != QImage::Format_RGB888 ||
        source.isNull() || target.isNull()) {
        target = scaleNearest(source, width, height);
        return;
    }
    std::vector<int> columns;
    std::vector<int> rows;
    buildColumnTable(source.width(), width, columns);
    buildRowTable(source.height(), height, rows);
    for (int& column : columns) {
        column *= 3;
    }
    for (int y = 0; y < height; ++y) {
        const uchar* in = source.constScanLine(rows[y]);
        uchar* out = target.scanLine(y);
        for (int x = 0; x < width; ++x, out += 3) {
            const uchar* pixel = in + columns[x];
            out[0] = pixel[0];
            out[1] = pixel[1];
            out[2] = pixel[2];
        }
    }
}
