#include "ueventmonitor.h"

#include "ueventmessage.h"

#include <QSocketNotifier>

#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {
// The kernel's own multicast group; udev's (2) carries its re-broadcasts.
constexpr unsigned kKernelGroup = 1;
} // namespace

namespace {
// A camera's nodes come one after the other, and udev sets their access
// after the kernel's event: a second look a moment later sees it whole.
constexpr int kSettleMs = 1000;
} // namespace

UeventMonitor::UeventMonitor(QObject* parent) : DeviceChangeNotifier(0, parent)
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &DeviceChangeNotifier::changed);
    const int fd =
        ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
    if (fd < 0) {
        return;
    }
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = kKernelGroup;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return;
    }
    m_socket = fd;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &UeventMonitor::readEvents);
}

UeventMonitor::~UeventMonitor()
{
    if (m_socket >= 0) {
        delete m_notifier;
        ::close(m_socket);
    }
}

void UeventMonitor::readEvents()
{
    bool videoChanged = false;
    char buffer[8192];
    for (;;) {
        sockaddr_nl sender{};
        socklen_t senderSize = sizeof sender;
        const ssize_t size = ::recvfrom(m_socket, buffer, sizeof buffer, 0,
                                        reinterpret_cast<sockaddr*>(&sender), &senderSize);
        if (size < 0 && errno == EINTR) {
            continue;
        }
        if (size < 0 && errno == ENOBUFS) {
            videoChanged = true; // events were lost: look anyway
            continue;
        }
        if (size <= 0) {
            break; // EAGAIN: all read
        }
        // Only the kernel (port 0) speaks for the devices.
        UeventMessage message;
        if (sender.nl_pid == 0 && UeventMessage::parse(buffer, std::size_t(size), &message) &&
            message.concernsVideoDevices()) {
            videoChanged = true;
        }
    }
    if (videoChanged) {
        emit changed();
        m_settle.start();
    }
}
