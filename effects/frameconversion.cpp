#include "frameconversion.h"

#include <opencv2/imgproc.hpp>

#include <cstring>

cv::Mat matHeader(const QImage& image, int channels)
{
    // OpenCV has no const matrix; callers that hand in a const picture only
    // read through the header, so the picture is never detached here.
    return cv::Mat(image.height(), image.width(), CV_8UC(channels),
                   const_cast<uchar*>(image.constBits()), size_t(image.bytesPerLine()));
}

cv::Mat matHeader(QImage& image, int channels)
{
    return cv::Mat(image.height(), image.width(), CV_8UC(channels), image.bits(),
                   size_t(image.bytesPerLine()));
}

cv::Mat QImageToMat(const QImage& image)
{
    if (image.isNull()) {
        return cv::Mat();
    }
    switch (image.format()) {
    case QImage::Format_RGB888: {
        cv::Mat bgr;
        cv::cvtColor(matHeader(image, 3), bgr, cv::COLOR_RGB2BGR);
        return bgr;
    }
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return matHeader(image, 4);
    case QImage::Format_Indexed8:
        return matHeader(image, 1);
    default:
        return cv::Mat();
    }
}

namespace {

QImage greyIndexedCopy(const cv::Mat& mat)
{
    QImage image(mat.cols, mat.rows, QImage::Format_Indexed8);
    if (image.isNull()) {
        return image;
    }
    QVector<QRgb> greys(256);
    for (int i = 0; i < 256; ++i) {
        greys[i] = qRgb(i, i, i);
    }
    image.setColorTable(greys);
    for (int y = 0; y < mat.rows; ++y) {
        std::memcpy(image.scanLine(y), mat.ptr(y), size_t(mat.cols));
    }
    return image;
}

} // namespace

QImage MatToQImage(const cv::Mat& mat)
{
    if (mat.empty() || mat.dims != 2) {
        return QImage();
    }
    const int step = int(mat.step[0]);
    switch (mat.type()) {
    case CV_8UC1:
        return greyIndexedCopy(mat);
    case CV_8UC3:
        // rgbSwapped() makes the deep copy and turns B, G, R into R, G, B.
        return QImage(mat.data, mat.cols, mat.rows, step, QImage::Format_RGB888).rgbSwapped();
    case CV_8UC4:
        return QImage(mat.data, mat.cols, mat.rows, step, QImage::Format_ARGB32).copy();
    default:
        return QImage();
    }
}
