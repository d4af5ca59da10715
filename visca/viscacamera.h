#pragma once

#include "videoinputinfo.h"
#include "viscacodec.h"

#include <QObject>

#include <functional>
#include <memory>

class CameraSession;

// One camera as a VISCA controller sees it: every message becomes the
// same mover calls as the window's pad and presets, and every position
// travels as VISCA's 16-bit values mapped onto the camera's own ranges.
class ViscaCamera : public QObject
{
    Q_OBJECT
public:
    using Reply = std::function<void(const QByteArray&)>;
    // Switches the host's auto framing of a camera on or off; false when
    // it cannot be framed. Without one, the command is not executable.
    using FramingSwitch = std::function<bool(const VideoInputInfo& camera, bool on)>;

    ViscaCamera(const VideoInputInfo& camera, const FramingSwitch& framing,
                QObject* parent = nullptr);
    ~ViscaCamera() override;

    const VideoInputInfo& camera() const { return m_camera; }

    // Answers through `reply`: at once, or for a recall its completion
    // once the head has arrived.
    void execute(const Visca::Command& command, const Reply& reply);

private:
    // A camera range and the last VISCA value sent for it, so that an
    // inquiry after a direct move returns what was sent, not a value
    // rounded through a smaller range.
    struct Axis
    {
        long property = 0;
        long minimum = 0;
        long maximum = 0;
        bool known = false;
        bool sent = false;
        long cameraValue = 0;
        int viscaValue = 0;
    };

    bool open();
    // Bound again when a request found the camera gone; false otherwise.
    bool reopened();
    bool act(const Visca::Command& command, const Reply& reply, int* socket);
    bool drive(const Visca::Command& command);
    bool moveAxis(Axis& axis, int viscaValue);
    bool recall(const Visca::Command& command, const Reply& reply);
    void stopAll();
    QByteArray inquiry(const Visca::Command& command);
    bool viscaValue(Axis& axis, int* value);
    long toCamera(const Axis& axis, int value) const;
    int toVisca(const Axis& axis, long value) const;

    VideoInputInfo m_camera;
    FramingSwitch m_framing;
    QString m_key;
    std::unique_ptr<CameraSession> m_session;
    bool m_open = false;
    bool m_standby = false;
    Axis m_pan;
    Axis m_tilt;
    Axis m_zoomAxis;
    Reply m_recallReply;
    int m_recallAddress = 1;
};
