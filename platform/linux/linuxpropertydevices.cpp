#include "linuxpropertydevices.h"

#include "loopbacknode.h"
#include "retryioctl.h"
#include "uvcpropertytransport.h"
#include "uvcsysfs.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <unistd.h>

namespace {

bool nodeNumber(const QString& name, int* number)
{
    bool ok = false;
    *number = name.mid(5).toInt(&ok); // "video12" -> 12
    return ok && *number >= 0;
}

// The video nodes of devRoot in numeric order (video2 before video10).
QStringList videoNodes(const QDir& devRoot)
{
    QStringList names =
        devRoot.entryList({QStringLiteral("video*")}, QDir::System | QDir::Files | QDir::Hidden);
    int unused = 0;
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&unused](const QString& n) { return !nodeNumber(n, &unused); }),
                names.end());
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        int na = 0;
        int nb = 0;
        nodeNumber(a, &na);
        nodeNumber(b, &nb);
        return na < nb;
    });
    return names;
}

int queryCapability(int fd, v4l2_capability* cap)
{
    std::memset(cap, 0, sizeof *cap);
    const int r = retryIoctl(fd, VIDIOC_QUERYCAP, cap);
    return r < 0 ? int(resultFromErrno(errno)) : 0;
}

QString cardName(const v4l2_capability& cap)
{
    const char* card = reinterpret_cast<const char*>(cap.card);
    return QString::fromUtf8(card, int(strnlen(card, sizeof cap.card)));
}

bool isCapture(const v4l2_capability& cap)
{
    const quint32 caps =
        (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    return caps & V4L2_CAP_VIDEO_CAPTURE;
}

enum class NodeKind
{
    Capture,
    Other,
    Unreadable
};

NodeKind queryNode(const QString& path, const QString& sysfsRoot, QString* card)
{
    // O_NONBLOCK: a node held by a streaming client must not stall the search.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return NodeKind::Unreadable;
    }
    v4l2_capability cap;
    const int r = queryCapability(fd, &cap);
    ::close(fd);
    if (r < 0) {
        return NodeKind::Unreadable;
    }
    if (!isCapture(cap) ||
        (LoopbackNode::isLoopback(cap) && LoopbackNode::isIdle(path, sysfsRoot))) {
        return NodeKind::Other;
    }
    *card = cardName(cap);
    return NodeKind::Capture;
}

} // namespace

LinuxPropertyDevices::LinuxPropertyDevices(const QString& devRoot, const QString& sysfsRoot)
    : m_devRoot(devRoot), m_sysfsRoot(sysfsRoot)
{
}

long LinuxPropertyDevices::enumerate(QList<PropertyDeviceEntry>* devices)
{
    devices->clear();
    const QDir root(m_devRoot);
    if (!root.exists()) {
        return -ENOENT;
    }
    if (!root.isReadable()) {
        return -EACCES;
    }
    for (const QString& name : videoNodes(root)) {
        PropertyDeviceEntry entry;
        entry.devicePath = root.filePath(name);
        QString card;
        switch (queryNode(entry.devicePath, m_sysfsRoot, &card)) {
        case NodeKind::Capture:
            entry.friendlyName = card;
            devices->append(entry);
            break;
        case NodeKind::Unreadable:
            // Listed so the search can report it; its path leads nowhere.
            entry.pathReadable = false;
            devices->append(entry);
            break;
        case NodeKind::Other:
            // uvcvideo's metadata node beside every capture node, or a
            // loopback device nobody writes to.
            break;
        }
    }
    return 0;
}

std::unique_ptr<PropertyTransport> LinuxPropertyDevices::bind(const QString& devicePath,
                                                              long* result)
{
    long unused = 0;
    long& status = result ? *result : unused;
    const int fd =
        ::open(QFile::encodeName(devicePath).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        status = resultFromErrno(errno);
        return nullptr;
    }
    v4l2_capability cap;
    status = queryCapability(fd, &cap);
    if (status >= 0 && !isCapture(cap)) {
        status = -ENODEV;
    }
    if (status < 0) {
        ::close(fd);
        return nullptr;
    }
    const QList<UvcExtensionUnit> units = UvcSysfs::extensionUnits(m_sysfsRoot, devicePath);
    if (units.isEmpty()) {
        // Standard controls still work; extension-unit requests will fail.
        qDebug() << "no extension units found for" << devicePath;
    }
    status = 0;
    auto transport = std::make_unique<UvcPropertyTransport>(fd, devicePath, cardName(cap), units);
    LensOptics optics;
    optics.maxZoomFactor = UvcSysfs::cameraZoomRatio(m_sysfsRoot, devicePath);
    transport->setLensOptics(optics);
    return transport;
}

QString LinuxPropertyDevices::identity(const QString& devicePath)
{
    UvcSysfsLocation location;
    if (UvcSysfs::locate(m_sysfsRoot, devicePath, &location) < 0) {
        return QString();
    }
    const auto attribute = [&location](const char* name) {
        QFile file(location.usbDeviceDir + QLatin1Char('/') + QLatin1String(name));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readLine(256).trimmed())
                                              : QString();
    };
    const QString product = attribute("idVendor") + QLatin1Char(':') + attribute("idProduct");
    const QString serial = attribute("serial");
    // The device's sysfs name is its bus and port path ("1-2.3"): where it
    // is plugged in, whichever node number it got this time.
    return serial.isEmpty()
               ? product + QStringLiteral(" port ") + QFileInfo(location.usbDeviceDir).fileName()
               : product + QStringLiteral(" serial ") + serial;
}
