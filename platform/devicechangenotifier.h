#pragma once

#include "lumora_platform_export.h"

#include <QObject>
#include <QTimer>

// Tells when video devices may have come or gone, so that a long-running
// process lists the cameras again only then. Where the system tells of its
// devices (the kernel's device events on Linux) nothing is polled; else a
// timer stands in.
class LUMORA_PLATFORM_EXPORT DeviceChangeNotifier : public QObject
{
    Q_OBJECT
public:
    // The best notifier this process has: the system's events, or a timer
    // for simulated cameras and for systems without events here.
    static DeviceChangeNotifier* create(QObject* parent = nullptr);

    // Polls every `intervalMs`; 0 leaves polling to a subclass.
    explicit DeviceChangeNotifier(int intervalMs, QObject* parent = nullptr);

    // Whether the system tells of changes (nothing is polled), and by what.
    virtual bool isEventDriven() const { return false; }
    virtual QString teller() const { return QStringLiteral("looked for regularly"); }

signals:
    void changed();

private:
    QTimer m_poll;
};
