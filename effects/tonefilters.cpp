#include "tonefilters.h"

namespace {

uchar clampChannel(qint64 v)
{
    if (v > 255) {
        return 255;
    }
    if (v <= 0) {
        return 0;
    }
    return uchar(v);
}

struct RgbTables
{
    ChannelTable red;
    ChannelTable green;
    ChannelTable blue;
};

void mapRow(const uchar* in, uchar* out, int width, const RgbTables& t)
{
    for (int x = 0; x < width; ++x) {
        out[0] = t.red[in[0]];
        out[1] = t.green[in[1]];
        out[2] = t.blue[in[2]];
        in += 3;
        out += 3;
    }
}

// Memory order of a 32-bit QRgb word is B, G, R, A on little-endian hosts;
// going through the word keeps this right on any host.
void mapRow32(const uchar* in, uchar* out, int width, const RgbTables& t)
{
    const QRgb* words = reinterpret_cast<const QRgb*>(in);
    for (int x = 0; x < width; ++x) {
        const QRgb p = words[x];
        out[0] = t.red[qRed(p)];
        out[1] = t.green[qGreen(p)];
        out[2] = t.blue[qBlue(p)];
        out += 3;
    }
}

QImage mapped(const QImage& source, const RgbTables& t)
{
    QImage result(source.size(), QImage::Format_RGB888);
    if (result.isNull()) {
        return result;
    }
    const int width = source.width();
    switch (source.format()) {
    case QImage::Format_RGB888:
        for (int y = 0; y < source.height(); ++y) {
            mapRow(source.constScanLine(y), result.scanLine(y), width, t);
        }
        break;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        // QImage::pixel() returns these words unchanged, so reading them
        // directly gives the same colours.
        for (int y = 0; y < source.height(); ++y) {
            mapRow32(source.constScanLine(y), result.scanLine(y), width, t);
        }
        break;
    default:
        // Rare formats (indexed, 16-bit, ...) go through Qt's own pixel
        // decoding so that every format reads the colours pixel() reports.
        for (int y = 0; y < source.height(); ++y) {
            uchar* out = result.scanLine(y);
            for (int x = 0; x < width; ++x) {
                const QRgb p = source.pixel(x, y);
                out[0] = t.red[qRed(p)];
                out[1] = t.green[qGreen(p)];
                out[2] = t.blue[qBlue(p)];
                out += 3;
            }
        }
        break;
    }
    return result;
}

} // namespace

ChannelTable shiftTable(int amount)
{
    ChannelTable table;
    for (int v = 0; v < 256; ++v) {
        table[size_t(v)] = clampChannel(qint64(v) + amount);
    }
    return table;
}

QImage warmTone(int amount, const QImage& source)
{
    const ChannelTable shifted = shiftTable(amount);
    return mapped(source, RgbTables{shifted, shifted, shiftTable(0)});
}

QImage coolTone(int amount, const QImage& source)
{
    const ChannelTable same = shiftTable(0);
    return mapped(source, RgbTables{same, same, shiftTable(amount)});
}

bool shiftChannels(const QImage& source, QImage& target, int redGreenAmount, int blueAmount)
{
    if (source.isNull() || source.format() != QImage::Format_RGB888 ||
        target.format() != QImage::Format_RGB888 || target.size() != source.size()) {
        return false;
    }
    const ChannelTable redGreen = shiftTable(redGreenAmount);
    const RgbTables t{redGreen, redGreen, shiftTable(blueAmount)};
    const int width = source.width();
    for (int y = 0; y < source.height(); ++y) {
        mapRow(source.constScanLine(y), target.scanLine(y), width, t);
    }
    return true;
}
