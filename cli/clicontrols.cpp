#include "clicontrols.h"

#include "interruptwatcher.h"

#include <QEventLoop>
#include <QThread>

CameraControlSession::CameraControlSession(const VideoInputInfo& camera,
                                           InterruptWatcher* interrupts)
    : m_interrupts(interrupts), m_session(camera)
{
    m_session.open();
}

CameraControlSession::~CameraControlSession() = default;

bool CameraControlSession::motionTime(int msecs)
{
    if (m_interrupts) {
        return m_interrupts->sleep(msecs);
    }
    QThread::msleep(static_cast<unsigned long>(msecs));
    return true;
}

bool CameraControlSession::write(const ControlDescriptor& control, const QJsonValue& value,
                                 QString* problem)
{
    using Access = ControlDescriptor::Access;
    CameraMover& mover = m_session.mover();
    if (control.access == Access::Zoom) {
        mover.startZoom(control.direction);
    } else if (control.access == Access::Relative) {
        if (!mover.startRelative(control.standardId, control.direction)) {
            *problem = QStringLiteral("the camera reports no speed for %1").arg(control.name);
            return false;
        }
    } else {
        return m_session.controls().write(control, value, problem);
    }
    const bool full = motionTime(value.toInt());
    if (control.access == Access::Zoom) {
        mover.stopZoom();
    } else {
        mover.stopRelative(control.standardId);
    }
    if (!full) {
        *problem = QStringLiteral("interrupted; %1 was stopped").arg(control.name);
    }
    return full;
}

bool CameraControlSession::moveTo(const PtzPosition& target)
{
    QEventLoop wait;
    bool arrived = false;
    QObject::connect(&m_session.mover(), &CameraMover::moveFinished, &wait,
                     [&wait, &arrived](bool done) {
                         arrived = done;
                         wait.quit();
                     });
    if (!m_session.mover().moveTo(target)) {
        return false;
    }
    if (m_session.mover().isMoving()) {
        wait.exec();
    }
    return arrived;
}
