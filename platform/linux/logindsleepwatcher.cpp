#include "logindsleepwatcher.h"

#include <QDBusConnection>

LogindSleepWatcher::LogindSleepWatcher(QObject* parent) : SystemResumeNotifier(parent)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    // Only logind itself may own its name on the system bus, so the signal
    // is taken from that name alone.
    m_watching = bus.isConnected() &&
                 bus.connect(QStringLiteral("org.freedesktop.login1"),
                             QStringLiteral("/org/freedesktop/login1"),
                             QStringLiteral("org.freedesktop.login1.Manager"),
                             QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
}

void LogindSleepWatcher::prepareForSleep(bool sleeping)
{
    if (!sleeping) {
        emit resumed();
    }
}
