#pragma once

#include <QImage>
#include <QRect>

// Nearest-pixel scaling of an RGB888 picture to exactly width x height,
// ignoring the aspect ratio. Gives the same pixels as
// QImage::scaled(width, height, Qt::IgnoreAspectRatio, Qt::FastTransformation)
// at a fraction of its cost: the column table is built once per call and
// every row is a plain gather, where Qt goes through its generic transform
// path. Any other format is handed to QImage::scaled.
QImage scaleNearest(const QImage& source, int width, int height);

// The same into an existing RGB888 picture of the wanted size, whose memory
// is reused: for a caller that scales every frame to one size. Any other
// target becomes scaleNearest's result.
void scaleNearestInto(const QImage& source, QImage& target);

// Where a picture goes in a box when it is shown whole and undistorted: the
// size QSize::scaled gives with Qt::KeepAspectRatio, centred.
QRect fittedRect(const QSize& picture, const QSize& box);

// Letterboxing: the picture scaled by nearest pixel into fittedRect of the
// target, which keeps its size; the bars around it are black. A 16:9 camera
// shown in a 3:2 or 4:3 frame keeps round faces round. An RGB32 target is
// filled straight from an RGB888 source: ready for the screen without a
// conversion.
void scaleFittedInto(const QImage& source, QImage& target);
QImage scaleFitted(const QImage& source, int width, int height);
