#include "cameradiscovery.h"

#include "devicecatalog.h"
#include "dialogseam.h"

#include <QDebug>
#include <QTimer>

CameraDiscovery::CameraDiscovery(QObject* parent) : QObject(parent), m_timer(new QTimer(this))
{
    connect(m_timer, &QTimer::timeout, this, &CameraDiscovery::passDue);
}

VideoInputList CameraDiscovery::refresh()
{
    DeviceCatalog& catalog = DeviceCatalog::instance();
    m_table = buildCameraTable(catalog.videoInputs(), catalog.audioInputs());
    VideoInputList found;
    for (const CameraDevice& device : m_table) {
        found.append(device.camera);
    }
    if (m_table.isEmpty()) {
        qDebug() << "no device find....";
    }
    reportInaccessible(catalog.inaccessibleVideoInputs());
    return found;
}

bool CameraDiscovery::holds(const VideoInputInfo& camera) const
{
    return keyOf(camera) >= 0;
}

int CameraDiscovery::keyOf(const VideoInputInfo& camera) const
{
    for (auto it = m_table.cbegin(); it != m_table.cend(); ++it) {
        if (it.value().camera == camera) {
            return it.key();
        }
    }
    return -1;
}

void CameraDiscovery::startPolling(int intervalMs)
{
    m_timer->start(intervalMs);
}

void CameraDiscovery::stopPolling()
{
    m_timer->stop();
}

void CameraDiscovery::reportInaccessible(const QStringList& nodes)
{
    // Without this the user reads "No camera selected" with a camera in
    // plain sight. Told once per node; a node made accessible is forgotten.
    QStringList fresh;
    for (const QString& node : nodes) {
        if (!m_reported.contains(node)) {
            fresh.append(node);
        }
    }
    m_reported = nodes;
    if (fresh.isEmpty()) {
        return;
    }
    const QString text = inaccessibleCamerasNotice(fresh);
    qWarning().noquote() << text;
    // Not inside the discovery pass: the box's own event loop runs passes.
    QTimer::singleShot(0, this, [text] {
        DialogSeam::information(nullptr, QStringLiteral("Notice"), text, QMessageBox::Ok);
    });
}
