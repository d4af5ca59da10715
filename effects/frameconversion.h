#pragma once

#include <QImage>

#include <opencv2/core.hpp>

// Conversions between Qt pictures and OpenCV matrices for the effect filters.

// RGB888 becomes a new 3-channel BGR matrix. The 32-bit formats and Indexed8
// give a matrix over the picture's own bytes: it stays valid only while the
// picture lives unchanged, and it must be treated as read-only. Any other
// format gives an empty matrix.
cv::Mat QImageToMat(const QImage& image);

// 8-bit matrices with 1, 3 (BGR) or 4 channels become pictures that own their
// pixels (Indexed8 with a grey table, RGB888, ARGB32); any other type gives a
// null picture.
QImage MatToQImage(const cv::Mat& mat);

// A matrix header over the bytes of a picture, honouring bytesPerLine, for
// filters that run straight on the picture's memory. 'channels' must match
// the picture's bytes per pixel.
cv::Mat matHeader(const QImage& image, int channels);
cv::Mat matHeader(QImage& image, int channels);
