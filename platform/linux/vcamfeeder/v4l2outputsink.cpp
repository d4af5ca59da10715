#include "v4l2outputsink.h"

#include "retryioctl.h"

#include "writeall.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <unistd.h>

namespace {

} // namespace

V4l2OutputSink::V4l2OutputSink(const QString& devicePath) : m_path(devicePath) {}

V4l2OutputSink::~V4l2OutputSink()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool V4l2OutputSink::fail(const QString& what, QString* error)
{
    *error =
        QStringLiteral("%1 %2: %3").arg(what, m_path, QString::fromLocal8Bit(std::strerror(errno)));
    return false;
}

bool V4l2OutputSink::open(int width, int height, bool i420, QString* error)
{
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CLOEXEC);
    if (m_fd < 0) {
        return fail(QStringLiteral("cannot open"), error);
    }
    v4l2_capability capability{};
    if (retryIoctl(m_fd, VIDIOC_QUERYCAP, &capability) < 0) {
        return fail(QStringLiteral("not a video device:"), error);
    }
    const __u32 caps = (capability.capabilities & V4L2_CAP_DEVICE_CAPS) ? capability.device_caps
                                                                        : capability.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_OUTPUT)) {
        errno = EINVAL;
        return fail(QStringLiteral("no video output on"), error);
    }

    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
    format.fmt.pix.width = __u32(width);
    format.fmt.pix.height = __u32(height);
    format.fmt.pix.pixelformat = i420 ? V4L2_PIX_FMT_YUV420 : V4L2_PIX_FMT_YUYV;
    format.fmt.pix.field = V4L2_FIELD_NONE;
    format.fmt.pix.bytesperline = __u32(i420 ? width : width * 2);
    format.fmt.pix.sizeimage = __u32(i420 ? width * height * 3 / 2 : width * height * 2);
    format.fmt.pix.colorspace = V4L2_COLORSPACE_SMPTE170M;
    if (retryIoctl(m_fd, VIDIOC_S_FMT, &format) < 0) {
        return fail(QStringLiteral("cannot set the output format of"), error);
    }
    // The driver may round; what it took is what every write must carry.
    if (format.fmt.pix.width != __u32(width) || format.fmt.pix.height != __u32(height)) {
        errno = EINVAL;
        return fail(QStringLiteral("picture size refused by"), error);
    }
    return true;
}

bool V4l2OutputSink::write(const QByteArray& frame)
{
    return writeAll(m_fd, frame.constData(), size_t(frame.size()));
}
