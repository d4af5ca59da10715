#include "ptzhead.h"

#include "cameramover.h"
#include "controlchannel.h"
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

// The worker's queue merges requests of one key: framing's own moves and
// readings, never the user's.
const QString kMoveKey = QStringLiteral("auto framing move");
const QString kPoseKey = QStringLiteral("auto framing pose");

QString burstKey(long property)
{
    return property == CameraControlProperty::PanRelative ? QStringLiteral("auto framing pan")
                                                          : QStringLiteral("auto framing tilt");
}

// The user's hand on the head: a pan or tilt of the pad or the keys, or a
// preset recall gliding.
bool userMoving(ControlWorker& worker)
{
    return worker.moving(CameraControlProperty::PanRelative) ||
           worker.moving(CameraControlProperty::TiltRelative) || worker.mover().isMoving();
}

// What the camera tells of its lens, and the common values for the rest.
CameraOptics opticsOf(const CameraControl& control, const PtzAxis& pan, const PtzAxis& tilt)
{
    const LensOptics told = control.lensOptics();
    // V4L2 reports pan and tilt in arc seconds, DirectShow in degrees; a
    // range wider than a turn can only be arc seconds.
    const double perDegree = (pan.maximum > 360 || tilt.maximum > 360) ? 3600.0 : 1.0;
    CameraOptics optics;
    optics.widePanView = told.widePanView > 0 ? told.widePanView : kAssumedWideDegrees * perDegree;
    optics.wideTiltView =
        told.wideTiltView > 0 ? told.wideTiltView : kAssumedWideDegrees * 9 / 16 * perDegree;
    optics.maxZoomFactor = told.maxZoomFactor >= 1 ? told.maxZoomFactor : kAssumedMaxZoom;
    return optics;
}

PtzAxis readAxis(CameraControl& control, long property)
{
    PtzAxis axis;
    long minimum = 0, maximum = 0, step = 0, def = 0, caps = 0;
    long value = 0;
    if (control.GetRange(property, &minimum, &maximum, &step, &def, &caps) >= 0 &&
        maximum > minimum && control.Get(property, &value) >= 0) {
        axis.present = true;
        axis.minimum = minimum;
        axis.maximum = maximum;
        // Home is where the home button sends the head.
        axis.home = axis.clamp(0);
    }
    return axis;
}

// The default speed of a relative control, 0 when there is none.
long relativeSpeed(CameraControl& control, long property)
{
    long minimum = 0, maximum = 0, def = 0;
    if (control.GetRange(property, &minimum, &maximum, nullptr, &def, nullptr) < 0) {
        return 0;
    }
    return std::abs(def);
}

// The absolute axes of layout where the head is now; the others stay as given.
PtzPose readPose(CameraControl* control, const PtzLayout& layout, PtzPose pose)
{
    if (!control) {
        return pose;
    }
    if (layout.pan.present && !layout.relativePan) {
        control->Get(CameraControlProperty::Pan, &pose.pan);
    }
    if (layout.tilt.present && !layout.relativeTilt) {
        control->Get(CameraControlProperty::Tilt, &pose.tilt);
    }
    if (layout.zoom.present) {
        control->Get(CameraControlProperty::Zoom, &pose.zoom);
    }
    return pose;
}

} // namespace

PtzLayout PtzLayout::read(CameraControl* control)
{
    PtzLayout layout;
    if (!control) {
        layout.why = QStringLiteral("No camera is open.");
        return layout;
    }
    layout.pan = readAxis(*control, CameraControlProperty::Pan);
    layout.tilt = readAxis(*control, CameraControlProperty::Tilt);
    layout.zoom = readAxis(*control, CameraControlProperty::Zoom);
    if (!layout.pan.present) {
        layout.panSpeed = relativeSpeed(*control, CameraControlProperty::PanRelative);
        layout.relativePan = layout.panSpeed != 0;
        if (layout.relativePan) {
            layout.pan = PtzAxis{true, -648000, 648000, 0};
        }
    }
    if (!layout.tilt.present) {
        layout.tiltSpeed = relativeSpeed(*control, CameraControlProperty::TiltRelative);
        layout.relativeTilt = layout.tiltSpeed != 0;
        if (layout.relativeTilt) {
            layout.tilt = PtzAxis{true, -648000, 648000, 0};
        }
    }
    if (!layout.pan.present && !layout.tilt.present && !layout.zoom.present) {
        layout.why = QStringLiteral("This camera has no pan, tilt or zoom to frame with.");
        return layout;
    }
    layout.optics = opticsOf(*control, layout.pan, layout.tilt);
    layout.pose = readPose(control, layout, PtzPose());
    return layout;
}

PtzHead::PtzHead(ControlChannel& channel, QObject* parent)
    : QObject(parent), m_channel(channel), m_panStop(new QTimer(this)), m_tiltStop(new QTimer(this))
{
    m_panStop->setSingleShot(true);
    m_tiltStop->setSingleShot(true);
    connect(m_panStop, &QTimer::timeout, this,
            [this] { sendStop(CameraControlProperty::PanRelative); });
    connect(m_tiltStop, &QTimer::timeout, this,
            [this] { sendStop(CameraControlProperty::TiltRelative); });
}

void PtzHead::bind()
{
    unbind();
    const int binding = m_binding;
    m_channel.ask(
        this, [](ControlWorker& worker) { return PtzLayout::read(worker.main().cameraControl); },
        [this, binding](const PtzLayout& layout) {
            if (binding != m_binding) {
                return;
            }
            QString why;
            bind(layout, &why);
            emit bound(why);
        });
}

bool PtzHead::bind(const PtzLayout& layout, QString* why)
{
    if (!layout.why.isEmpty()) {
        *why = layout.why;
        unbind();
        return false;
    }
    m_layout = layout;
    m_read = m_sent = layout.pose;
    m_bound = true;
    return true;
}

void PtzHead::unbind()
{
    cancelMoves();
    ++m_binding;
    m_bound = false;
    m_layout = PtzLayout();
}

PtzPose PtzHead::pose() const
{
    PtzPose pose = m_read;
    if (m_layout.relativePan) {
        pose.pan = m_sent.pan;
    }
    if (m_layout.relativeTilt) {
        pose.tilt = m_sent.tilt;
    }
    return pose;
}

void PtzHead::requestPose()
{
    if (!m_bound) {
        return;
    }
    const PtzLayout layout = m_layout;
    const PtzPose before = m_read;
    const int binding = m_binding;
    m_channel.ask(
        this,
        [layout, before](ControlWorker& worker) {
            return readPose(worker.main().cameraControl, layout, before);
        },
        [this, binding](const PtzPose& pose) {
            if (binding == m_binding) {
                m_read = pose;
            }
        },
        kPoseKey);
}

void PtzHead::burst(long property, long delta, double unitsPerSecond)
{
    QTimer* stop = property == CameraControlProperty::PanRelative ? m_panStop : m_tiltStop;
    const long speed =
        property == CameraControlProperty::PanRelative ? m_layout.panSpeed : m_layout.tiltSpeed;
    const int ms = int(std::lround(std::abs(delta) / unitsPerSecond * 1000.0));
    if (ms <= 0) {
        return;
    }
    const long value = delta > 0 ? speed : -speed;
    m_channel.postLatest(burstKey(property), [property, value](ControlWorker& worker) {
        CameraControl* control = worker.main().cameraControl;
        if (control && !userMoving(worker)) {
            control->Set(property, value, ControlFlags::Manual);
        }
    });
    stop->start(ms);
}

// A stop of framing's own burst; one the user started is the user's to stop.
void PtzHead::sendStop(long property)
{
    m_channel.postLatest(burstKey(property), [property](ControlWorker& worker) {
        CameraControl* control = worker.main().cameraControl;
        if (control && !worker.moving(property)) {
            control->Set(property, 0, ControlFlags::Manual);
        }
    });
}

void PtzHead::moveTo(const PtzPose& target)
{
    if (!m_bound) {
        return;
    }
    const PtzPose from = pose();
    const double perSecond =
        kAssumedDegreesPerSecond * m_layout.optics.widePanView / kAssumedWideDegrees;
    // An axis is left alone only where both the newest reading and the last
    // move have it at the target: a reading may be older than that move.
    const auto changes = [](long to, long read, long sent) { return to != read || to != sent; };
    const bool pan =
        m_layout.pan.present && !m_layout.relativePan && changes(target.pan, from.pan, m_sent.pan);
    const bool tilt = m_layout.tilt.present && !m_layout.relativeTilt &&
                      changes(target.tilt, from.tilt, m_sent.tilt);
    const bool zoom = m_layout.zoom.present && changes(target.zoom, from.zoom, m_sent.zoom);
    if (m_layout.relativePan && target.pan != from.pan) {
        burst(CameraControlProperty::PanRelative, target.pan - from.pan, perSecond);
    }
    if (m_layout.relativeTilt && target.tilt != from.tilt) {
        burst(CameraControlProperty::TiltRelative, target.tilt - from.tilt, perSecond);
    }
    // Replacing a move not yet done is right even for an axis this one
    // leaves alone: the head is read and was sent where the newer target
    // has it.
    m_channel.postLatest(kMoveKey, [target, pan, tilt, zoom](ControlWorker& worker) {
        CameraControl* control = worker.main().cameraControl;
        if (!control || userMoving(worker)) {
            return;
        }
        if (pan) {
            control->Set(CameraControlProperty::Pan, target.pan, ControlFlags::Manual);
        }
        if (tilt) {
            control->Set(CameraControlProperty::Tilt, target.tilt, ControlFlags::Manual);
        }
        if (zoom) {
            control->Set(CameraControlProperty::Zoom, target.zoom, ControlFlags::Manual);
        }
    });
    m_sent = target;
}

void PtzHead::cancelMoves()
{
    if (!m_bound) {
        return;
    }
    m_channel.postLatest(kMoveKey, [](ControlWorker&) {});
    for (QTimer* stop : {m_panStop, m_tiltStop}) {
        if (stop->isActive()) {
            stop->stop();
            sendStop(stop == m_panStop ? CameraControlProperty::PanRelative
                                       : CameraControlProperty::TiltRelative);
        }
    }
}
