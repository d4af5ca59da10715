#pragma once

#include <QByteArray>

// What the virtual camera shows while Lumora publishes no frame: the eight
// 75 % colour bars (white, yellow, cyan, green, magenta, red, blue, black),
// so that a video call shows a steady, plainly artificial picture instead of
// freezing or going dark. Stored bottom-up like a frame record, so it takes
// the same conversion path as a frame.
namespace PlaceholderPicture {

// The bar colour at column x of a picture width pixels wide, as R, G, B.
void barColour(int x, int width, uchar rgb[3]);
QByteArray bottomUpRgb(int width, int height);

} // namespace PlaceholderPicture
