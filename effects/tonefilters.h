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

// Both tones in one pass, in place, on an RGB888 picture: red and green
// shifted by redGreenAmount, blue by blueAmount. The two tones touch
// different channels, so this equals coolTone(blue, warmTone(redGreen, p)).
void shiftChannelsInPlace(QImage& rgb888, int redGreenAmount, int blueAmount);
