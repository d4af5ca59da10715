#include "placeholderpicture.h"

#include "colourbars.h"

namespace PlaceholderPicture {

QByteArray bottomUpRgb(int width, int height)
{
    QByteArray picture(width * height * 3, Qt::Uninitialized);
    ColourBars::fillBottomUpRgb(reinterpret_cast<unsigned char*>(picture.data()), width, height);
    return picture;
}

} // namespace PlaceholderPicture
