#pragma once

#include "cameracontrols.h"
#include "capturemode.h"
#include "videoinputinfo.h"

#include <QList>
#include <QString>

#include <memory>

class Vorn_CameraProperty;

// One camera as the program drives it: who it is, its two property handles
// (the main unit for everything but the zoom motion, the zoom unit for that),
// its controls and mover, the key its profile is kept under and the modes it
// offers. The window's session (on its control worker) drives the
// process-wide cameraProperty and zoomProperty; the agent, lumora-ctl, the
// tray and the network servers each have handles of their own. A session
// belongs to the one thread that uses it.
class CameraSession
{
public:
    // With handles of its own, bound by open().
    explicit CameraSession(const VideoInputInfo& camera = VideoInputInfo());
    // Over handles someone else keeps (the window's process-wide pair).
    CameraSession(Vorn_CameraProperty& main, Vorn_CameraProperty& zoom);
    ~CameraSession();
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;

    // Binds both handles, the zoom unit first as the window always has, to
    // the camera (a new one replaces the last); false, and not open, when
    // either cannot be bound.
    bool open(const VideoInputInfo& camera);
    bool open() { return open(m_camera); }
    bool isOpen() const { return m_open; }
    // A request found the camera unplugged since open(): bound again, the
    // session reaches a camera plugged in at the same place.
    bool deviceGone() const;

    const VideoInputInfo& camera() const { return m_camera; }
    // Where its profile, presets and chosen mode are kept.
    QString profileKey() const;

    Vorn_CameraProperty& main() { return m_main; }
    Vorn_CameraProperty& zoom() { return m_zoom; }
    CameraControls& controls() { return m_controls; }
    CameraMover& mover() { return m_controls.mover(); }

    // What the camera offers, best first; listing asks the device, so call
    // it where a short wait does no harm.
    QList<CaptureMode> modes() const;
    // The mode its profile keeps (chosen in the window), as the camera
    // offers it now; null when none is kept or the camera no longer has it.
    CaptureMode keptMode() const;

private:
    std::unique_ptr<Vorn_CameraProperty> m_ownMain;
    std::unique_ptr<Vorn_CameraProperty> m_ownZoom;
    Vorn_CameraProperty& m_main;
    Vorn_CameraProperty& m_zoom;
    VideoInputInfo m_camera;
    CameraControls m_controls;
    bool m_open = false;
};
