#pragma once

#include <QImage>

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
