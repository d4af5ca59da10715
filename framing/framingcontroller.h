#pragma once

#include <QRectF>
#include <QString>
#include <QVector>

// Where the camera's head points: absolute pan, tilt and zoom in the
// camera's own units.
struct PtzPose
{
    long pan = 0;
    long tilt = 0;
    long zoom = 0;
};

// What the camera offers for one axis.
struct PtzAxis
{
    bool present = false;
    long minimum = 0;
    long maximum = 0;
    long home = 0;
    long clamp(long value) const
    {
        return value < minimum ? minimum : value > maximum ? maximum : value;
    }
};

// How the picture relates to the head's angles: the field of view at the
// widest zoom in pan and tilt units, and the magnification at the longest
// zoom, taken as linear in the zoom value between the two ends.
struct CameraOptics
{
    double widePanView = 0;
    double wideTiltView = 0;
    double maxZoomFactor = 1;

    double zoomFactor(long zoom, const PtzAxis& axis) const;
    long zoomFor(double factor, const PtzAxis& axis) const;
};

struct FramingSettings
{
    double deadZone = 0.08;  // centre error (fraction of the picture) left alone
    double gain = 0.7;       // share of the error corrected by one move
    double maxStep = 0.3;    // largest move, as a share of the field of view
    double smoothing = 0.5;  // weight of a new group box against the smoothed one
    double fill = 2.0 / 3.0; // share of the picture the group should fill
    double zoomTolerance = 0.15;
    double margin = 0.12;      // around the group, as a share of its size
    int settleMs = 400;        // a frame taken this soon after a move is not used
    int holdMs = 3000;         // nobody seen: keep the framing this long...
    int homeMs = 10000;        // ...zoom out to look, and go home after this long
    int manualPauseMs = 60000; // a manual move pauses this long (0: until switched on)
};

// One decision, for the camera and for whoever prints what happens.
struct FramingDecision
{
    enum class Action
    {
        None,    // nothing to do
        Move,    // go to `target`
        Ignored, // the frame was taken while the camera moved
    };
    Action action = Action::None;
    PtzPose target;
    QString what; // e.g. "pan right 12, zoom in to 40"
};

// Keeps the people in the picture: given the faces found in a frame and the
// head's position when that frame was taken, decides where the head goes
// next. Pure logic, no camera and no clock of its own: times come in as
// milliseconds of any steady clock.
class FramingController
{
public:
    FramingController(const FramingSettings& settings, const CameraOptics& optics,
                      const PtzAxis& pan, const PtzAxis& tilt, const PtzAxis& zoom);

    // faces are in picture fractions (0..1, y down); frameMs is when the
    // frame was taken, nowMs is now.
    FramingDecision onFaces(const QVector<QRectF>& faces, const PtzPose& pose, qint64 frameMs,
                            qint64 nowMs);

    // A move the user made: no decisions until resume() or until the pause
    // time of the settings has passed.
    void pauseForManualMove(qint64 nowMs);
    void resume();
    bool paused(qint64 nowMs) const;

    // The box the camera is aiming to frame (picture fractions, empty when
    // nobody is followed), for the preview's overlay.
    QRectF target() const { return m_shown; }

    // The head-and-shoulders box of the faces with its margin.
    QRectF groupOf(const QVector<QRectF>& faces) const;

    // The head was moved at nowMs: frames taken before it settles are not used.
    void markMoved(qint64 nowMs);

private:
    FramingDecision seen(const QVector<QRectF>& faces, const PtzPose& pose, qint64 nowMs);
    FramingDecision follow(const QRectF& group, const PtzPose& pose);
    FramingDecision nobody(const PtzPose& pose, qint64 nowMs);
    FramingDecision moveTo(const PtzPose& pose, const PtzPose& target, const QString& what);

    FramingSettings m_settings;
    CameraOptics m_optics;
    PtzAxis m_pan, m_tilt, m_zoom;
    QRectF m_group; // smoothed, in the present picture
    QRectF m_shown;
    qint64 m_lastMoveMs = -1;
    qint64 m_lastSeenMs = -1;
    qint64 m_pausedAtMs = -1;
    bool m_pausedUntilResume = false;
    bool m_searched = false;
    bool m_homed = false;
};
