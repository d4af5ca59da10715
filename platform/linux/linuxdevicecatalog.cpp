#include "linuxdevicecatalog.h"

#include "loopbacknode.h"
#include "pulsesourcelist.h"
#include "retryioctl.h"
#include "uvcsysfs.h"
#include "videonodes.h"

#include <QDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QStringList videoNodesInOrder(const QString& folder)
{
    return VideoNodes::inOrder(
        QDir(folder).entryList({QStringLiteral("video*")}, QDir::System | QDir::Files));
}

} // namespace

CameraAvailability LinuxDeviceCatalog::availability(const VideoInputInfo& camera)
{
    const int fd =
        ::open(camera.deviceName().toLocal8Bit().constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return errno == ENOENT || errno == ENODEV || errno == ENXIO ? CameraAvailability::Gone
                                                                    : CameraAvailability::Unknown;
    }
    // The format the camera has now, set again: nothing changes for the
    // camera, and the handle lets go of the stream when it is closed.
    v4l2_format format;
    std::memset(&format, 0, sizeof format);
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    int result = retryIoctl(fd, VIDIOC_G_FMT, &format);
    if (result == 0) {
        result = retryIoctl(fd, VIDIOC_S_FMT, &format);
    }
    const int error = result == 0 ? 0 : errno;
    ::close(fd);
    switch (error) {
    case 0:
        return CameraAvailability::Free;
    case EBUSY:
        return CameraAvailability::InUse;
    case ENODEV:
    case ENXIO:
        return CameraAvailability::Gone;
    default:
        return CameraAvailability::Unknown;
    }
}

LinuxDeviceCatalog::LinuxDeviceCatalog(const QString& folder) : m_folder(folder) {}

bool LinuxDeviceCatalog::queryNode(const QString& path, VideoInputInfo* info, bool* denied,
                                   bool* loopback)
{
    // O_NONBLOCK: a node held by a streaming client must not stall the pass.
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (denied) {
        *denied = fd < 0 && (errno == EACCES || errno == EPERM);
    }
    if (fd < 0) {
        return false;
    }
    v4l2_capability cap;
    std::memset(&cap, 0, sizeof cap);
    const int r = retryIoctl(fd, VIDIOC_QUERYCAP, &cap);
    ::close(fd);
    if (r < 0) {
        return false;
    }
    QString card;
    bool usb = false;
    if (!VideoNodes::captureNode(cap, &card, &usb)) {
        return false;
    }
    if (loopback) {
        *loopback = LoopbackNode::isLoopback(cap);
    }
    // Where the camera sits on the bus pairs it with its own microphone,
    // which identical cameras' names cannot.
    UvcSysfsLocation location;
    if (usb) {
        UvcSysfs::locate(QStringLiteral("/sys"), path, &location);
    }
    *info = VideoInputInfo(card, path, usb, location.usbDeviceDir);
    return true;
}

VideoInputList LinuxDeviceCatalog::videoInputs()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    VideoInputList inputs;
    QHash<QString, CachedNode> seen;
    m_denied.clear();
    for (const QString& name : videoNodesInOrder(m_folder)) {
        const QString path = m_folder + QLatin1Char('/') + name;
        struct stat st;
        if (::stat(path.toLocal8Bit().constData(), &st) != 0 || !S_ISCHR(st.st_mode)) {
            continue;
        }
        CachedNode node = m_cache.value(path);
        const qint64 changeTime = qint64(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
        if (node.device != st.st_rdev || node.inode != st.st_ino || node.changeTime != changeTime) {
            node.device = st.st_rdev;
            node.inode = st.st_ino;
            node.changeTime = changeTime;
            node.loopback = false;
            node.capture = queryNode(path, &node.info, &node.denied, &node.loopback);
        }
        seen.insert(path, node);
        if (node.denied) {
            m_denied.append(path);
        }
        // A loopback device gains and loses its producer without a change
        // of its node, so its state is read on every pass.
        if (node.capture && !(node.loopback && LoopbackNode::isIdle(path))) {
            inputs.append(node.info);
        }
    }
    m_cache.swap(seen);
    return inputs;
}

QStringList LinuxDeviceCatalog::inaccessibleVideoInputs()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_denied;
}

void LinuxDeviceCatalog::settleAudioInputs(int waitMs)
{
    PulseSourceList::instance().waitUntilKnown(waitMs);
}

AudioInputList LinuxDeviceCatalog::audioInputs()
{
    return PulseSourceList::instance().sources();
}
