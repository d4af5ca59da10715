#pragma once

#include "cameradevice.h"
#include "videoinputinfo.h"

#include <QObject>
#include <QStringList>

class QTimer;

// What the system offers as cameras, one pass at a time: the camera table
// with each camera's microphone, looked at again every second, and the
// camera nodes the user may not open, told once each.
class CameraDiscovery : public QObject
{
    Q_OBJECT
public:
    explicit CameraDiscovery(QObject* parent = nullptr);

    // Rebuilds the table from the device catalogue and tells the user of
    // nodes that newly refuse to open. Returns the cameras in table order.
    VideoInputList refresh();
    const CameraTable& table() const { return m_table; }
    bool holds(const VideoInputInfo& camera) const;
    // The table key the camera is listed under now, or -1 when it is gone.
    int keyOf(const VideoInputInfo& camera) const;

    void startPolling(int intervalMs);
    void stopPolling();

signals:
    void passDue();

private:
    void reportInaccessible(const QStringList& nodes);

    CameraTable m_table;
    QTimer* m_timer = nullptr;
    QStringList m_reported;
};
