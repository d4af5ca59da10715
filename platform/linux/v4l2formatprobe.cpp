#include "v4l2formatprobe.h"

#include "retryioctl.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <tuple>

namespace {

QList<double> frameRates(int fd, uint32_t fourcc, int width, int height)
{
    QList<double> rates;
    v4l2_frmivalenum interval{};
    interval.pixel_format = fourcc;
    interval.width = uint32_t(width);
    interval.height = uint32_t(height);
    for (interval.index = 0; retryIoctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &interval) == 0;
         ++interval.index) {
        // Stepwise ranges: the fastest end is what a preview wants.
        const v4l2_fract f =
            interval.type == V4L2_FRMIVAL_TYPE_DISCRETE ? interval.discrete : interval.stepwise.min;
        if (f.numerator > 0) {
            rates.append(double(f.denominator) / f.numerator);
        }
        if (interval.type != V4L2_FRMIVAL_TYPE_DISCRETE) {
            break;
        }
    }
    return rates;
}

void addModes(int fd, uint32_t fourcc, QList<V4l2Mode>& modes)
{
    v4l2_frmsizeenum size{};
    size.pixel_format = fourcc;
    for (size.index = 0; retryIoctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
        if (size.type != V4L2_FRMSIZE_TYPE_DISCRETE) {
            // Continuous sizes: offer the largest; the driver adjusts to
            // the requested one when it fits.
            const int w = int(size.stepwise.max_width), h = int(size.stepwise.max_height);
            modes.append({fourcc, w, h, 0});
            break;
        }
        const int w = int(size.discrete.width), h = int(size.discrete.height);
        const QList<double> rates = frameRates(fd, fourcc, w, h);
        if (rates.isEmpty()) {
            modes.append({fourcc, w, h, 0});
        }
        for (double rate : rates) {
            modes.append({fourcc, w, h, rate});
        }
    }
}

int formatRank(uint32_t fourcc)
{
    switch (fourcc) {
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
        return 0;
    case V4L2_PIX_FMT_H264:
        return 1;
    case V4L2_PIX_FMT_YUYV:
        return 2;
    default:
        return 3;
    }
}

} // namespace

QList<V4l2Mode> enumerateV4l2Modes(const QString& devicePath)
{
    QList<V4l2Mode> modes;
    const int fd = ::open(devicePath.toLocal8Bit().constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return modes;
    }
    v4l2_fmtdesc format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (format.index = 0; retryIoctl(fd, VIDIOC_ENUM_FMT, &format) == 0; ++format.index) {
        if (!v4l2InputFormatName(format.pixelformat).isEmpty()) {
            addModes(fd, format.pixelformat, modes);
        }
    }
    ::close(fd);
    return modes;
}

QString v4l2InputFormatName(uint32_t fourcc)
{
    switch (fourcc) {
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
        return QStringLiteral("mjpeg");
    case V4L2_PIX_FMT_H264:
        return QStringLiteral("h264");
    case V4L2_PIX_FMT_YUYV:
        return QStringLiteral("yuyv422");
    case V4L2_PIX_FMT_UYVY:
        return QStringLiteral("uyvy422");
    case V4L2_PIX_FMT_NV12:
        return QStringLiteral("nv12");
    case V4L2_PIX_FMT_YUV420:
        return QStringLiteral("yuv420p");
    case V4L2_PIX_FMT_RGB24:
        return QStringLiteral("rgb24");
    case V4L2_PIX_FMT_BGR24:
        return QStringLiteral("bgr24");
    case V4L2_PIX_FMT_GREY:
        return QStringLiteral("gray");
    default:
        return QString();
    }
}

bool chooseV4l2Mode(const QList<V4l2Mode>& modes, int width, int height, double fps,
                    V4l2Mode& chosen)
{
    const V4l2Mode* best = nullptr;
    auto key = [&](const V4l2Mode& m) {
        const long long areaGap = std::llabs(1LL * m.width * m.height - 1LL * width * height);
        const double rateGap = m.fps > 0 ? std::fabs(m.fps - fps) : 1000.0;
        return std::make_tuple(areaGap, formatRank(m.fourcc), rateGap);
    };
    for (const V4l2Mode& mode : modes) {
        if (mode.width <= 0 || mode.height <= 0 || v4l2InputFormatName(mode.fourcc).isEmpty()) {
            continue;
        }
        if (!best || key(mode) < key(*best)) {
            best = &mode;
        }
    }
    if (!best) {
        return false;
    }
    chosen = *best;
    return true;
}

QList<CaptureMode> v4l2CaptureModes(const QString& devicePath)
{
    QList<CaptureMode> modes;
    for (const V4l2Mode& mode : enumerateV4l2Modes(devicePath)) {
        const CaptureMode::Format format = v4l2ModeFormat(mode.fourcc);
        if (format != CaptureMode::Format::Any) {
            modes.append(CaptureMode(mode.width, mode.height, mode.fps, format));
        }
    }
    return modes;
}

uint32_t v4l2Fourcc(CaptureMode::Format format)
{
    switch (format) {
    case CaptureMode::Format::Mjpeg:
        return V4L2_PIX_FMT_MJPEG;
    case CaptureMode::Format::Yuyv:
        return V4L2_PIX_FMT_YUYV;
    case CaptureMode::Format::Nv12:
        return V4L2_PIX_FMT_NV12;
    case CaptureMode::Format::H264:
        return V4L2_PIX_FMT_H264;
    case CaptureMode::Format::Any:
        break;
    }
    return 0;
}

CaptureMode::Format v4l2ModeFormat(uint32_t fourcc)
{
    switch (fourcc) {
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
        return CaptureMode::Format::Mjpeg;
    case V4L2_PIX_FMT_YUYV:
        return CaptureMode::Format::Yuyv;
    case V4L2_PIX_FMT_NV12:
        return CaptureMode::Format::Nv12;
    case V4L2_PIX_FMT_H264:
        return CaptureMode::Format::H264;
    default:
        return CaptureMode::Format::Any;
    }
}
