#pragma once

#include "camerasession.h"
#include "videoinputinfo.h"

#include <QJsonValue>

class CliOutput;
class InterruptWatcher;
struct CliCamera;

// One camera's session, bound for the length of one command and let go
// afterwards, so the tool never keeps a camera.
class CameraControlSession
{
public:
    // A timed motion ends early, with its stop sent, on an interrupt that
    // `interrupts` catches.
    explicit CameraControlSession(const VideoInputInfo& camera,
                                  InterruptWatcher* interrupts = nullptr);
    ~CameraControlSession();

    bool isOpen() const { return m_session.isOpen(); }
    CameraSession& session() { return m_session; }
    CameraControls& controls() { return m_session.controls(); }

    QJsonValue read(const ControlDescriptor& control) { return controls().read(control); }
    QJsonValue parse(const ControlDescriptor& control, const QJsonValue& value, QString* problem)
    {
        return controls().parse(control, value, problem);
    }
    // Writes a value parse() accepted, motions for their time; false when
    // the camera refused it or the motion was interrupted.
    bool write(const ControlDescriptor& control, const QJsonValue& value, QString* problem);
    // Moves to a preset position and waits until the camera is there.
    bool moveTo(const PtzPosition& target);

private:
    // Waits out a motion; false when interrupted.
    bool motionTime(int msecs);

    InterruptWatcher* m_interrupts;
    CameraSession m_session;
};

// Shared by the commands that read and write controls.
// Opens the camera's controls; tells the user when it cannot.
bool openSession(CameraControlSession& session, const CliCamera& camera, CliOutput& out);
void printControls(CliOutput& out, const CliCamera& camera, const QJsonObject& values,
                   const QList<const ControlDescriptor*>& order);
// Reads the controls back and shows them: the result of get and set.
QJsonObject reportControls(CameraControlSession& session, const CliCamera& camera,
                           const QList<const ControlDescriptor*>& order, CliOutput& out);
