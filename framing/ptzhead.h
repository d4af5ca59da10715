#pragma once

#include "framingcontroller.h"

#include <QObject>
#include <QString>

class CameraControl;
class ControlChannel;
class QTimer;

// What auto framing needs to know of a camera's head, read once as it is
// bound: its axes, how it moves them and where it points.
struct PtzLayout
{
    PtzAxis pan, tilt, zoom;
    bool relativePan = false;
    bool relativeTilt = false;
    long panSpeed = 0;
    long tiltSpeed = 0;
    CameraOptics optics;
    PtzPose pose;
    // Empty when the camera can be framed, else a sentence for the user.
    QString why;

    // On the thread that owns control; control may be null (no camera open).
    static PtzLayout read(CameraControl* control);
};

// The camera's pan / tilt / zoom head as auto framing drives it, through the
// camera's control worker like every other request of the window, so that
// a camera slow to answer never holds up the frames: absolute positions
// where the camera has them, else a timed burst of the relative (speed)
// controls. The user's own moves go first: a framing move that reaches the
// worker while the user pans or tilts, or a preset recall glides, is
// dropped.
class PtzHead : public QObject
{
    Q_OBJECT
public:
    explicit PtzHead(ControlChannel& channel, QObject* parent = nullptr);

    // Reads the axes of the channel's camera on its worker; bound() follows.
    void bind();
    // Takes a layout read already (by the owner of the camera's controls,
    // before the channel's worker took them over); false, with a sentence
    // for the user, when the camera cannot be framed.
    bool bind(const PtzLayout& layout, QString* why);
    void unbind();
    bool isBound() const { return m_bound; }

    PtzAxis pan() const { return m_layout.pan; }
    PtzAxis tilt() const { return m_layout.tilt; }
    PtzAxis zoom() const { return m_layout.zoom; }
    // The picture's field of view for this camera: what the camera tells of
    // its lens, and for the rest a common conference camera's (70 degrees
    // wide, 4x zoom), in the units the camera reports.
    CameraOptics optics() const { return m_layout.optics; }

    // Where the head was at the newest reading that has come back; axes
    // without an absolute control read as the last position sent.
    PtzPose pose() const;
    // Asks the worker for a fresh reading; pose() has it once it is back.
    // Readings not yet taken are merged into the newest.
    void requestPose();
    // Sent after what the user asked of the camera before; a move not yet
    // done is replaced by a newer one.
    void moveTo(const PtzPose& target);
    // Framing stopped or gave way: what it sent and the camera has not done
    // yet is dropped, and a burst under way stops.
    void cancelMoves();

signals:
    // The answer to bind(): why is empty when the camera can be framed.
    void bound(const QString& why);

private:
    void burst(long property, long delta, double unitsPerSecond);
    void sendStop(long property);

    ControlChannel& m_channel;
    PtzLayout m_layout;
    bool m_bound = false;
    // Replies of an earlier binding are not this one's.
    int m_binding = 0;
    PtzPose m_read;
    PtzPose m_sent;
    QTimer* m_panStop = nullptr;
    QTimer* m_tiltStop = nullptr;
};
