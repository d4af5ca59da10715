#pragma once

#include "cameramover.h"
#include "controlcatalogue.h"
#include "videoinputinfo.h"

#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

class Vorn_CameraProperty;

// The controls of the catalogue on one bound camera: read, checked and
// written the same way for the window, its profiles and presets, and
// lumora-ctl. Head moves go through the camera's mover.
class CameraControls
{
public:
    CameraControls(Vorn_CameraProperty& main, Vorn_CameraProperty& zoom,
                   const VideoInputInfo& camera);

    CameraMover& mover() { return m_mover; }
    // The session bound its handles to another camera.
    void setCamera(const VideoInputInfo& camera) { m_camera = camera; }

    // The control with the camera's own range where the camera has one.
    ControlDescriptor resolved(const ControlDescriptor& control);

    // The current value: a number, a bool, a choice name or a text; an
    // undefined value when the camera does not answer.
    QJsonValue read(const ControlDescriptor& control);

    // Turns a value from the command line or a JSON document into the
    // control's value; empty `problem` when it fits.
    QJsonValue parse(const ControlDescriptor& control, const QJsonValue& value, QString* problem);

    // Writes a value parse() accepted (motions that last are the caller's);
    // false when the camera refused it.
    bool write(const ControlDescriptor& control, const QJsonValue& value, QString* problem);

    // The values a profile keeps, as read now.
    QJsonObject readProfile();
    // Writes the values of a profile that differ from the camera's; the
    // names written. Values the camera cannot take now are left out.
    QStringList applyProfile(const QJsonObject& values);

private:
    Vorn_CameraProperty& m_main;
    Vorn_CameraProperty& m_zoom;
    VideoInputInfo m_camera;
    CameraMover m_mover;
};
