#pragma once

#include <QImage>
#include <QPainter>

// A picture as it must look in a box of another shape: whole, undistorted
// (Qt's own nearest-pixel scaling keeping the aspect ratio), centred, with
// black bars around it.
inline QImage letterboxed(const QImage& picture, const QSize& box)
{
    const QImage scaled = picture.scaled(box, Qt::KeepAspectRatio, Qt::FastTransformation);
    QImage boxed(box, QImage::Format_RGB888);
    boxed.fill(Qt::black);
    QPainter(&boxed).drawImage((box.width() - scaled.width()) / 2,
                               (box.height() - scaled.height()) / 2, scaled);
    return boxed;
}
