#include "camerasession.h"

#include "cameraprofilestore.h"
#include "framesourcefactory.h"
#include "vorn_cameraproperty.h"

CameraSession::CameraSession(const VideoInputInfo& camera)
    : m_ownMain(std::make_unique<Vorn_CameraProperty>(MainUnitSet)),
      m_ownZoom(std::make_unique<Vorn_CameraProperty>(ZoomUnitSet)), m_main(*m_ownMain),
      m_zoom(*m_ownZoom), m_camera(camera), m_controls(m_main, m_zoom, camera)
{
}

CameraSession::CameraSession(Vorn_CameraProperty& main, Vorn_CameraProperty& zoom)
    : m_main(main), m_zoom(zoom), m_controls(main, zoom, VideoInputInfo())
{
}

CameraSession::~CameraSession() = default;

bool CameraSession::open(const VideoInputInfo& camera)
{
    m_camera = camera;
    m_controls.setCamera(camera);
    const QString deviceName = camera.deviceName();
    m_open = m_zoom.open(deviceName) >= 0 && m_main.open(deviceName) >= 0;
    return m_open;
}

bool CameraSession::deviceGone() const
{
    return m_main.deviceGone() || m_zoom.deviceGone();
}

QString CameraSession::profileKey() const
{
    return m_camera.isNull() ? QString() : CameraProfileStore::keyOf(m_camera);
}

QList<CaptureMode> CameraSession::modes() const
{
    return CaptureMode::sorted(listCaptureModes(m_camera.deviceName()));
}

CaptureMode CameraSession::keptMode() const
{
    const QString key = profileKey();
    const CaptureMode kept = key.isEmpty()
                                 ? CaptureMode()
                                 : CaptureMode::fromString(CameraProfileStore::captureMode(key));
    // Other firmware may list other modes.
    return kept.isNull() ? kept : CaptureMode::find(modes(), kept);
}
