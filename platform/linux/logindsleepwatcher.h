#pragma once

#include "systemresumenotifier.h"

// logind's PrepareForSleep(false) on the system bus: the machine is awake
// again. The system bus is the one DBUS_SYSTEM_BUS_ADDRESS names, so a
// test can stand in for logind on a private bus.
class LogindSleepWatcher : public SystemResumeNotifier
{
    Q_OBJECT
public:
    explicit LogindSleepWatcher(QObject* parent = nullptr);

    bool isWatching() const override { return m_watching; }
    QString teller() const override { return QStringLiteral("logind"); }

private slots:
    void prepareForSleep(bool sleeping);

private:
    bool m_watching = false;
};
