#pragma once

#include "devicechangenotifier.h"

#include <QTimer>

class QSocketNotifier;

// The kernel's device events on a netlink socket: no library, no daemon,
// and no polling. The kernel tells as soon as a node is made or removed,
// before udev may have given the user access to it, so a listener that
// cannot open a new camera yet tries again shortly.
class UeventMonitor : public DeviceChangeNotifier
{
    Q_OBJECT
public:
    explicit UeventMonitor(QObject* parent = nullptr);
    ~UeventMonitor() override;

    // False when the socket could not be had (then nothing is told).
    bool isEventDriven() const override { return m_socket >= 0; }
    QString teller() const override { return QStringLiteral("the kernel's device events"); }

private slots:
    void readEvents();

private:
    int m_socket = -1;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_settle; // one more look once the device has settled
};
