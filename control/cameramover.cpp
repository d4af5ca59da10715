#include "cameramover.h"

#include "camerasettings.h"
#include "propertytransport.h"
#include "vorn_cameraproperty.h"

#include <QSettings>

namespace {

// A recall glides in this many absolute steps, one per interval: short
// enough to feel immediate, long enough for the picture to show the way.
constexpr int kRecallSteps = 10;
constexpr int kRecallStepMs = 40;

const char* const kSpeedNames[] = {"slow", "normal", "fast"};

QString speedKey()
{
    return QStringLiteral("motion/speed");
}

} // namespace

CameraMover::CameraMover(Vorn_CameraProperty& main, Vorn_CameraProperty& zoom, QObject* parent)
    : QObject(parent), m_main(main), m_zoom(zoom), m_steps(this)
{
    m_steps.setInterval(kRecallStepMs);
    connect(&m_steps, &QTimer::timeout, this, &CameraMover::step);
}

CameraMover::Speed CameraMover::speed()
{
    const QString name =
        QSettings(QStringLiteral("Lumora"), QStringLiteral("Lumora")).value(speedKey()).toString();
    for (int i = 0; i < 3; ++i) {
        if (name == QLatin1String(kSpeedNames[i])) {
            return Speed(i);
        }
    }
    return Speed::Normal;
}

void CameraMover::setSpeed(Speed speed)
{
    QSettings(QStringLiteral("Lumora"), QStringLiteral("Lumora"))
        .setValue(speedKey(), speedName(speed));
}

QString CameraMover::speedName(Speed speed)
{
    return QString::fromLatin1(kSpeedNames[int(speed)]);
}

void CameraMover::beginManualMove()
{
    if (m_steps.isActive()) {
        m_steps.stop();
        emit moveFinished(false);
    }
    emit manualMoveStarted();
}

bool CameraMover::startRelative(long relativeProperty, int direction)
{
    return startRelative(relativeProperty, direction, speed());
}

bool CameraMover::startRelative(long relativeProperty, int direction, Speed speed)
{
    beginManualMove();
    return CameraSettings::startRelativeMotion(m_main, relativeProperty, direction, int(speed));
}

void CameraMover::stopRelative(long relativeProperty)
{
    CameraSettings::stopRelativeMotion(m_main, relativeProperty);
}

void CameraMover::startZoom(int direction)
{
    beginManualMove();
    CameraSettings::sendZoomMotion(m_zoom, direction > 0 ? CameraSettings::kZoomIn
                                                         : CameraSettings::kZoomOut);
}

void CameraMover::stopZoom()
{
    CameraSettings::sendZoomMotion(m_zoom, 0);
}

void CameraMover::home()
{
    beginManualMove();
    CameraSettings::goHome(m_main);
}

long CameraMover::setPosition(long property, long value)
{
    beginManualMove();
    CameraControl* control = m_main.cameraControl;
    return control ? control->Set(property, value, ControlFlags::Manual) : -1;
}

bool CameraMover::hasPositions()
{
    CameraControl* control = m_main.cameraControl;
    if (!control) {
        return false;
    }
    for (long property :
         {CameraControlProperty::Pan, CameraControlProperty::Tilt, CameraControlProperty::Zoom}) {
        if (control->GetRange(property, nullptr, nullptr, nullptr, nullptr, nullptr) < 0) {
            return false;
        }
    }
    return true;
}

bool CameraMover::position(PtzPosition* position)
{
    CameraControl* control = m_main.cameraControl;
    return control && control->Get(CameraControlProperty::Pan, &position->pan) >= 0 &&
           control->Get(CameraControlProperty::Tilt, &position->tilt) >= 0 &&
           control->Get(CameraControlProperty::Zoom, &position->zoom) >= 0;
}

bool CameraMover::moveTo(const PtzPosition& target)
{
    PtzPosition from;
    if (!position(&from)) {
        return false;
    }
    beginManualMove();
    m_from = from;
    m_to = target;
    m_step = 0;
    m_steps.start();
    step();
    return true;
}

void CameraMover::completeMove()
{
    if (m_steps.isActive()) {
        m_step = kRecallSteps - 1;
        step();
    }
}

void CameraMover::step()
{
    ++m_step;
    const auto between = [this](long from, long to) {
        return from + (to - from) * m_step / kRecallSteps;
    };
    CameraControl* control = m_main.cameraControl;
    if (!control) {
        m_steps.stop();
        emit moveFinished(false);
        return;
    }
    control->Set(CameraControlProperty::Pan, between(m_from.pan, m_to.pan), ControlFlags::Manual);
    control->Set(CameraControlProperty::Tilt, between(m_from.tilt, m_to.tilt),
                 ControlFlags::Manual);
    control->Set(CameraControlProperty::Zoom, between(m_from.zoom, m_to.zoom),
                 ControlFlags::Manual);
    if (m_step >= kRecallSteps) {
        m_steps.stop();
        emit moveFinished(true);
    }
}
