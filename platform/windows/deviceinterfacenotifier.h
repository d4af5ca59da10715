#pragma once

#include "devicechangenotifier.h"

#include <QTimer>
#include <QVector>

#include <memory>

class MessageWindow;

// Windows' word of cameras' device interfaces coming and going
// (WM_DEVICECHANGE for the interface classes asked for with
// RegisterDeviceNotification): nothing is polled. A camera brings several
// interfaces, and DirectShow may list it a moment after the first arrives,
// so a second look follows once it has settled.
class DeviceInterfaceNotifier : public DeviceChangeNotifier
{
    Q_OBJECT
public:
    explicit DeviceInterfaceNotifier(QObject* parent = nullptr);
    ~DeviceInterfaceNotifier() override;

    // False when Windows took no registration (then nothing is told).
    bool isEventDriven() const override { return !m_registrations.isEmpty(); }
    QString teller() const override { return QStringLiteral("Windows' device notifications"); }

private:
    QTimer m_settle;
    std::unique_ptr<MessageWindow> m_window;
    QVector<void*> m_registrations;
};
