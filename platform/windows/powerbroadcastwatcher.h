#pragma once

#include "systemresumenotifier.h"

#include <memory>

class MessageWindow;

// Windows' power broadcast PBT_APMRESUMEAUTOMATIC: the machine is awake
// again. It comes on every wake, whether or not anyone is at the machine;
// PBT_APMRESUMESUSPEND follows only when someone is, so it is not taken as
// a second wake. A message-only window gets it only when it asks for it,
// which Windows 8 and later allow.
class PowerBroadcastWatcher : public SystemResumeNotifier
{
    Q_OBJECT
public:
    explicit PowerBroadcastWatcher(QObject* parent = nullptr);
    ~PowerBroadcastWatcher() override;

    bool isWatching() const override { return m_registration != nullptr; }
    QString teller() const override { return QStringLiteral("Windows' power broadcasts"); }

private:
    std::unique_ptr<MessageWindow> m_window;
    void* m_registration = nullptr;
};
