#pragma once

#include "videoinputinfo.h"

#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class InterruptWatcher;
class Vorn_CameraProperty;

// The controls of the video and audio pages by name, with their ranges,
// read and written through the same camera settings code as the pages.
struct ControlInfo
{
    enum class Kind
    {
        Number, // an integer in [minimum, maximum]
        Switch, // on or off
        Choice, // one of `choices`
        Motion, // moves for a number of milliseconds in [minimum, maximum]
        Action, // runs once; takes no value
        Text,   // read-only text
    };
    QString name;
    Kind kind = Kind::Number;
    int minimum = 0;
    int maximum = 0;
    QStringList choices;
    bool readable = false;
    bool writable = false;
    // A number that also takes "auto", which the camera keeps as 0.
    bool automatic = false;
    QString help;

    // "auto|-7..7", "on|off", "meeting|live", "1..10000 ms", "".
    QString rangeText() const;
};

// Every control, in the order `controls` and `get` show them.
QList<ControlInfo> controlTable();
// Null when there is no such control.
const ControlInfo* findControl(const QString& name);

// One camera's controls, bound for the length of one command and let go
// afterwards, so the tool never keeps a camera.
class CameraControlSession
{
public:
    // A timed motion ends early, with its stop sent, on an interrupt that
    // `interrupts` catches.
    explicit CameraControlSession(const VideoInputInfo& camera,
                                  InterruptWatcher* interrupts = nullptr);
    ~CameraControlSession();

    bool isOpen() const { return m_open; }

    // The control with the camera's own range (contrast's range comes from
    // the camera).
    ControlInfo resolved(const ControlInfo& control);

    // The current value: a number, a bool, a choice name or a text; an
    // undefined value when the camera does not answer.
    QJsonValue read(const ControlInfo& control);

    // Turns a value from the command line or a JSON file into the control's
    // value; empty `problem` when it fits.
    QJsonValue parse(const ControlInfo& control, const QJsonValue& value, QString* problem);

    // Writes a value parse() accepted; false when the camera refused it.
    bool write(const ControlInfo& control, const QJsonValue& value, QString* problem);

private:
    // Waits out a motion; false when interrupted.
    bool motionTime(int msecs);

    VideoInputInfo m_camera;
    InterruptWatcher* m_interrupts;
    std::unique_ptr<Vorn_CameraProperty> m_main;
    std::unique_ptr<Vorn_CameraProperty> m_zoom;
    bool m_open = false;
};
