#include "v4l2controlevents.h"

#include "retryioctl.h"

#include <QFile>
#include <QSocketNotifier>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <unistd.h>

namespace {

// Subscribes every control that can change; the number subscribed.
int subscribeAll(int fd)
{
    int subscribed = 0;
    v4l2_queryctrl query{};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    while (retryIoctl(fd, VIDIOC_QUERYCTRL, &query) == 0) {
        if (query.type != V4L2_CTRL_TYPE_CTRL_CLASS && !(query.flags & V4L2_CTRL_FLAG_DISABLED)) {
            v4l2_event_subscription subscription{};
            subscription.type = V4L2_EVENT_CTRL;
            subscription.id = query.id;
            subscribed += retryIoctl(fd, VIDIOC_SUBSCRIBE_EVENT, &subscription) == 0;
        }
        query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
    }
    return subscribed;
}

} // namespace

V4l2ControlEvents* V4l2ControlEvents::open(const QString& devicePath, QObject* parent)
{
    if (!devicePath.startsWith(QLatin1String("/dev/"))) {
        return nullptr;
    }
    const int fd =
        ::open(QFile::encodeName(devicePath).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    if (subscribeAll(fd) == 0) {
        ::close(fd);
        return nullptr;
    }
    return new V4l2ControlEvents(fd, parent);
}

V4l2ControlEvents::V4l2ControlEvents(int fd, QObject* parent)
    : ControlChangeWatcher(parent), m_fd(fd),
      m_notifier(new QSocketNotifier(fd, QSocketNotifier::Exception, this))
{
    // V4L2 tells of a pending event as POLLPRI, which Qt calls an exception.
    connect(m_notifier, &QSocketNotifier::activated, this, &V4l2ControlEvents::readEvents);
}

V4l2ControlEvents::~V4l2ControlEvents()
{
    delete m_notifier; // before its descriptor
    ::close(m_fd);
}

void V4l2ControlEvents::readEvents()
{
    bool changedValue = false;
    v4l2_event event{};
    while (retryIoctl(m_fd, VIDIOC_DQEVENT, &event) == 0) {
        changedValue |=
            event.type == V4L2_EVENT_CTRL && (event.u.ctrl.changes & V4L2_EVENT_CTRL_CH_VALUE);
    }
    // ENOENT: all read. Anything else (ENODEV: the camera left) ends the
    // watch, which would otherwise be woken without end.
    if (errno != ENOENT) {
        m_notifier->setEnabled(false);
    }
    if (changedValue) {
        emit changed();
    }
}
