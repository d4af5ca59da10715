#include "controlchangewatcher.h"

#if !defined(_WIN32)
#include "linux/v4l2controlevents.h"
#endif

namespace {
// A DirectShow camera answers each read slowly, and some stall their stream
// while read: Windows reads back less often.
#if defined(_WIN32)
constexpr int kReadBackMs = 2000;
#else
constexpr int kReadBackMs = 500;
#endif
} // namespace

ControlChangeWatcher* ControlChangeWatcher::create(const QString& deviceName, QObject* parent)
{
#if !defined(_WIN32)
    return V4l2ControlEvents::open(deviceName, parent);
#else
    (void)deviceName;
    (void)parent;
    return nullptr;
#endif
}

int ControlChangeWatcher::readBackIntervalMs()
{
    return kReadBackMs;
}
