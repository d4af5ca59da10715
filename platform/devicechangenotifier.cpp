#include "devicechangenotifier.h"

#include "simulated/simulatedhub.h"

#if defined(_WIN32)
#include "windows/deviceinterfacenotifier.h"
#else
#include "linux/ueventmonitor.h"
#endif

namespace {
// Simulated cameras come and go in this process; looking costs nothing.
constexpr int kSimulatedPollMs = 250;
constexpr int kSystemPollMs = 1000;
} // namespace

DeviceChangeNotifier::DeviceChangeNotifier(int intervalMs, QObject* parent) : QObject(parent)
{
    if (intervalMs > 0) {
        connect(&m_poll, &QTimer::timeout, this, &DeviceChangeNotifier::changed);
        m_poll.start(intervalMs);
    }
}

DeviceChangeNotifier* DeviceChangeNotifier::create(QObject* parent)
{
    if (SimulatedHub::requestedCameraCount() > 0) {
        return new DeviceChangeNotifier(kSimulatedPollMs, parent);
    }
#if defined(_WIN32)
    auto* monitor = new DeviceInterfaceNotifier(parent);
#else
    auto* monitor = new UeventMonitor(parent);
#endif
    if (monitor->isEventDriven()) {
        return monitor;
    }
    delete monitor;
    return new DeviceChangeNotifier(kSystemPollMs, parent);
}
