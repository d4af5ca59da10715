#include "ptzhead.h"

#include "propertytransport.h"
#include "vorn_cameraproperty.h"

#include <QTimer>

#include <cmath>
#include <cstdlib>

namespace {

// Without a way to ask a camera for its field of view, the common one.
constexpr double kAssumedWideDegrees = 70.0;
constexpr double kAssumedMaxZoom = 4.0;
// A relative move at the camera's default speed turns about this many
// degrees a second on the heads we know; only used where a camera has no
// absolute pan or tilt.
constexpr double kAssumedDegreesPerSecond = 30.0;

} // namespace

PtzHead::PtzHead(QObject* parent)
    : QObject(parent), m_panStop(new QTimer(this)), m_tiltStop(new QTimer(this))
{
    m_panStop->setSingleShot(true);
    m_tiltStop->setSingleShot(true);
    connect(m_panStop, &QTimer::timeout, this, [this] {
        if (m_control) {
            m_control->Set(CameraControlProperty::PanRelative, 0, ControlFlags::Manual);
        }
    });
    connect(m_tiltStop, &QTimer::timeout, this, [this] {
        if (m_control) {
            m_control->Set(CameraControlProperty::TiltRelative, 0, ControlFlags::Manual);
        }
    });
}

// What the camera tells of its lens, and the common values for the rest.
CameraOptics PtzHead::opticsOf(const CameraControl& control) const
{
    const LensOptics told = control.lensOptics();
    // V4L2 reports pan and tilt in arc seconds, DirectShow in degrees; a
    // range wider than a turn can only be arc seconds.
    const double perDegree = (m_pan.maximum > 360 || m_tilt.maximum > 360) ? 3600.0 : 1.0;
    CameraOptics optics;
    optics.widePanView = told.widePanView > 0 ? told.widePanView : kAssumedWideDegrees * perDegree;
    optics.wideTiltView =
        told.wideTiltView > 0 ? told.wideTiltView : kAssumedWideDegrees * 9 / 16 * perDegree;
    optics.maxZoomFactor = told.maxZoomFactor >= 1 ? told.maxZoomFactor : kAssumedMaxZoom;
    return optics;
}

PtzAxis PtzHead::readAxis(long property)
{
    PtzAxis axis;
    long minimum = 0, maximum = 0, step = 0, def = 0, caps = 0;
    long value = 0;
    if (m_control->GetRange(property, &minimum, &maximum, &step, &def, &caps) >= 0 &&
        maximum > minimum && m_control->Get(property, &value) >= 0) {
        axis.present = true;
        axis.minimum = minimum;
        axis.maximum = maximum;
        // Home is where the home button sends the head.
        axis.home = axis.clamp(0);
    }
    return axis;
}

bool PtzHead::bind(CameraControl* control, QString* why)
{
    unbind();
    if (!control) {
        *why = QStringLiteral("No camera is open.");
        return false;
    }
    m_control = control;
    m_pan = readAxis(CameraControlProperty::Pan);
    m_tilt = readAxis(CameraControlProperty::Tilt);
    m_zoom = readAxis(CameraControlProperty::Zoom);
    long minimum = 0, maximum = 0, def = 0;
    if (!m_pan.present &&
        control->GetRange(CameraControlProperty::PanRelative, &minimum, &maximum, nullptr, &def,
                          nullptr) >= 0 &&
        def != 0) {
        m_relativePan = true;
        m_panSpeed = std::abs(def);
        m_pan = PtzAxis{true, -648000, 648000, 0};
    }
    if (!m_tilt.present &&
        control->GetRange(CameraControlProperty::TiltRelative, &minimum, &maximum, nullptr, &def,
                          nullptr) >= 0 &&
        def != 0) {
        m_relativeTilt = true;
        m_tiltSpeed = std::abs(def);
        m_tilt = PtzAxis{true, -648000, 648000, 0};
    }
    if (!m_pan.present && !m_tilt.present && !m_zoom.present) {
        *why = QStringLiteral("This camera has no pan, tilt or zoom to frame with.");
        unbind();
        return false;
    }
    m_optics = opticsOf(*control);
    m_sent = pose();
    return true;
}

void PtzHead::unbind()
{
    m_panStop->stop();
    m_tiltStop->stop();
    m_control = nullptr;
    m_pan = m_tilt = m_zoom = PtzAxis();
    m_relativePan = m_relativeTilt = false;
}

PtzPose PtzHead::pose()
{
    PtzPose pose = m_sent;
    if (!m_control) {
        return pose;
    }
    if (m_pan.present && !m_relativePan) {
        m_control->Get(CameraControlProperty::Pan, &pose.pan);
    }
    if (m_tilt.present && !m_relativeTilt) {
        m_control->Get(CameraControlProperty::Tilt, &pose.tilt);
    }
    if (m_zoom.present) {
        m_control->Get(CameraControlProperty::Zoom, &pose.zoom);
    }
    return pose;
}

void PtzHead::burst(long property, long delta, double unitsPerSecond)
{
    QTimer* stop = property == CameraControlProperty::PanRelative ? m_panStop : m_tiltStop;
    const long speed = property == CameraControlProperty::PanRelative ? m_panSpeed : m_tiltSpeed;
    const int ms = int(std::lround(std::abs(delta) / unitsPerSecond * 1000.0));
    if (ms <= 0) {
        return;
    }
    m_control->Set(property, delta > 0 ? speed : -speed, ControlFlags::Manual);
    stop->start(ms);
}

void PtzHead::moveTo(const PtzPose& target)
{
    if (!m_control) {
        return;
    }
    const PtzPose from = pose();
    const double perSecond = kAssumedDegreesPerSecond * m_optics.widePanView / kAssumedWideDegrees;
    if (m_pan.present && target.pan != from.pan) {
        if (m_relativePan) {
            burst(CameraControlProperty::PanRelative, target.pan - from.pan, perSecond);
        } else {
            m_control->Set(CameraControlProperty::Pan, target.pan, ControlFlags::Manual);
        }
    }
    if (m_tilt.present && target.tilt != from.tilt) {
        if (m_relativeTilt) {
            burst(CameraControlProperty::TiltRelative, target.tilt - from.tilt, perSecond);
        } else {
            m_control->Set(CameraControlProperty::Tilt, target.tilt, ControlFlags::Manual);
        }
    }
    if (m_zoom.present && target.zoom != from.zoom) {
        m_control->Set(CameraControlProperty::Zoom, target.zoom, ControlFlags::Manual);
    }
    m_sent = target;
}
