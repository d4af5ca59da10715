#pragma once

#include <QObject>
#include <QTimer>

class Vorn_CameraProperty;

// Pan, tilt and zoom as absolute positions of the camera.
struct PtzPosition
{
    long pan = 0;
    long tilt = 0;
    long zoom = 0;
    bool operator==(const PtzPosition& o) const
    {
        return pan == o.pan && tilt == o.tilt && zoom == o.zoom;
    }
};

// Every move of the camera's head a user asks for goes through here: the
// pad, the keys, preset recalls and lumora-ctl. Each one starts with
// manualMoveStarted(), so that whatever moves the camera by itself (a recall
// under way, automatic framing) knows to give way.
class CameraMover : public QObject
{
    Q_OBJECT
public:
    enum class Speed
    {
        Slow,
        Normal,
        Fast
    };

    CameraMover(Vorn_CameraProperty& main, Vorn_CameraProperty& zoom, QObject* parent = nullptr);

    // The user's pan/tilt speed, kept in the user's settings for the window
    // and lumora-ctl alike.
    static Speed speed();
    static void setSpeed(Speed speed);
    static QString speedName(Speed speed);

    // Pan (PanRelative) or tilt (TiltRelative) until stopped; false when the
    // camera has no speed for it.
    bool startRelative(long relativeProperty, int direction);
    // The same at a speed of its own (a network controller's), not the user's.
    bool startRelative(long relativeProperty, int direction, Speed speed);
    void stopRelative(long relativeProperty);
    // Continuous zoom: 1 in, -1 out; stopZoom ends it.
    void startZoom(int direction);
    void stopZoom();
    void home();
    // One absolute control (Pan, Tilt or Zoom) at once.
    long setPosition(long property, long value);

    // True when the camera has absolute pan, tilt and zoom.
    bool hasPositions();
    bool position(PtzPosition* position);
    // Moves to target in small steps, so that the picture glides there; a
    // manual move on the way stops it. False when the camera cannot.
    bool moveTo(const PtzPosition& target);
    bool isMoving() const { return m_steps.isActive(); }
    // A moveTo under way goes the rest of the way at once.
    void completeMove();

signals:
    void manualMoveStarted();
    // A moveTo arrived, or gave way to a manual move (arrived false).
    void moveFinished(bool arrived);

private:
    void beginManualMove();
    void step();

    Vorn_CameraProperty& m_main;
    Vorn_CameraProperty& m_zoom;
    QTimer m_steps;
    PtzPosition m_from;
    PtzPosition m_to;
    int m_step = 0;
};
