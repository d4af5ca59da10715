#pragma once

#include <QByteArray>

// The colour bars (sharedframe/colourbars.h) as one bottom-up RGB picture.
namespace PlaceholderPicture {

QByteArray bottomUpRgb(int width, int height);

} // namespace PlaceholderPicture
