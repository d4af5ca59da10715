#pragma once

// What the virtual camera shows while Lumora publishes no frame: the eight
// 75 % colour bars (white, yellow, cyan, green, magenta, red, blue, black),
// so that a video call shows a steady, plainly artificial picture instead of
// freezing or going dark. Without Qt: the Linux feeder and the Windows
// filter show the same bars.
namespace ColourBars {

// The bar colour at column x of a picture width pixels wide, as R, G, B.
void barColour(int x, int width, unsigned char rgb[3]);
// width * height * 3 bytes of RGB, stored bottom-up like a frame record, so
// that the bars take the same conversion path as a frame.
void fillBottomUpRgb(unsigned char* out, int width, int height);

} // namespace ColourBars
