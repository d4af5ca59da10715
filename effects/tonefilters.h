#pragma once

#include <QImage>

#include <array>

// The warm and cool preview tones: a fixed amount added to some colour
// channels, clamped to 0..255.

// One value per possible channel byte: clamp(v + amount).
using ChannelTable = std::array<uchar, 256>;
ChannelTable shiftTable(int amount);

// A new RGB888 picture of the source's size: red and green raised by amount.
QImage warmTone(int amount, const QImage& source);

// A new RGB888 picture of the source's size: blue raised by amount.
QImage coolTone(int amount, const QImage& source);

// Both tones in one pass from an RGB888 picture into target, another RGB888
// picture of the same size: red and green shifted by redGreenAmount, blue by
// blueAmount. The two tones touch different channels, so this equals
// coolTone(blue, warmTone(redGreen, source)). Returns false, leaving target
// alone, when the pictures do not fit.
bool shiftChannels(const QImage& source, QImage& target, int redGreenAmount, int blueAmount);
