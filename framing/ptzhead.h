#pragma once

#include "framingcontroller.h"

#include <QObject>
#include <QString>

class CameraControl;
class QTimer;

// The camera's pan / tilt / zoom head as auto framing drives it, through the
// same camera-control path as the page's pad: absolute positions where the
// camera has them, else a timed burst of the relative (speed) controls.
class PtzHead : public QObject
{
    Q_OBJECT
public:
    explicit PtzHead(QObject* parent = nullptr);

    // Reads the axes of the bound camera; false, with a sentence for the
    // user, when it cannot be framed (no pan, tilt or zoom at all).
    bool bind(CameraControl* control, QString* why);
    void unbind();

    PtzAxis pan() const { return m_pan; }
    PtzAxis tilt() const { return m_tilt; }
    PtzAxis zoom() const { return m_zoom; }
    // The picture's field of view for this camera: what the camera tells of
    // its lens, and for the rest a common conference camera's (70 degrees
    // wide, 4x zoom), in the units the camera reports.
    CameraOptics optics() const { return m_optics; }

    // Where the head is; axes without an absolute control read as the last
    // position sent.
    PtzPose pose();
    void moveTo(const PtzPose& target);

private:
    PtzAxis readAxis(long property);
    CameraOptics opticsOf(const CameraControl& control) const;
    void burst(long property, long delta, double unitsPerSecond);

    CameraControl* m_control = nullptr;
    PtzAxis m_pan, m_tilt, m_zoom;
    bool m_relativePan = false;
    bool m_relativeTilt = false;
    long m_panSpeed = 0;
    long m_tiltSpeed = 0;
    CameraOptics m_optics;
    PtzPose m_sent;
    QTimer* m_panStop = nullptr;
    QTimer* m_tiltStop = nullptr;
};
