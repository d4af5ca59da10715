#include "viscacamera.h"

#include "cameraprofilestore.h"
#include "camerasession.h"
#include "vorn_cameraproperty.h"

#include <cmath>

namespace {

constexpr int kPanTiltLimit = 0x7FFF;
constexpr int kSocket = 1;

// The property that carries a control of the catalogue.
long propertyOf(const char* control)
{
    return ControlCatalogue::get(control).standardId;
}

CameraMover::Speed speedOf(int viscaSpeed, int maximum)
{
    return CameraMover::Speed(qBound(0, (viscaSpeed - 1) * 3 / maximum, 2));
}

} // namespace

ViscaCamera::ViscaCamera(const VideoInputInfo& camera, const FramingSwitch& framing,
                         QObject* parent)
    : QObject(parent), m_camera(camera), m_framing(framing),
      m_key(CameraProfileStore::keyOf(camera))
{
    m_pan.property = propertyOf("pan");
    m_tilt.property = propertyOf("tilt");
    m_zoomAxis.property = propertyOf("zoom");
}

ViscaCamera::~ViscaCamera() = default;

// Opened at the first message and kept: opening per message would cost
// more than the move it carries.
bool ViscaCamera::open()
{
    if (m_open) {
        return true;
    }
    m_session = std::make_unique<CameraSession>(m_camera);
    m_open = m_session->open();
    if (!m_open) {
        return false;
    }
    connect(&m_session->mover(), &CameraMover::moveFinished, this, [this](bool arrived) {
        if (m_recallReply) {
            const Reply reply = std::move(m_recallReply);
            m_recallReply = nullptr;
            reply(arrived ? Visca::completion(m_recallAddress, kSocket)
                          : Visca::error(m_recallAddress, kSocket, Visca::kCanceled));
        }
    });
    CameraControl* control = m_session->main().cameraControl;
    for (Axis* axis : {&m_pan, &m_tilt, &m_zoomAxis}) {
        axis->known = control &&
                      control->GetRange(axis->property, &axis->minimum, &axis->maximum, nullptr,
                                        nullptr, nullptr) >= 0 &&
                      axis->maximum > axis->minimum;
    }
    return true;
}

void ViscaCamera::execute(const Visca::Command& command, const Reply& reply)
{
    using Visca::Kind;
    const int address = command.address;
    if (command.kind == Kind::Invalid) {
        reply(Visca::error(address, 0, Visca::kSyntaxError));
        return;
    }
    if (!open()) {
        reply(Visca::error(address, kSocket, Visca::kNotExecutable));
        return;
    }
    if (command.isInquiry()) {
        QByteArray data = inquiry(command);
        if (data.isNull() && reopened()) {
            data = inquiry(command);
        }
        reply(data.isNull() ? Visca::error(address, kSocket, Visca::kNotExecutable)
                            : Visca::answer(address, data));
        return;
    }
    if (command.kind == Kind::IfClear) {
        m_recallReply = nullptr;
        reply(Visca::completion(address, 0));
        return;
    }
    if (command.kind == Kind::MemoryRecall && m_recallReply) {
        reply(Visca::error(address, 0, Visca::kBufferFull));
        return;
    }
    int socket = kSocket;
    bool done = act(command, reply, &socket);
    if (!done && reopened()) {
        socket = kSocket;
        done = act(command, reply, &socket);
    }
    if (!done) {
        reply(Visca::error(address, kSocket, Visca::kNotExecutable));
    } else if (socket) {
        reply(Visca::ack(address, socket));
        reply(Visca::completion(address, socket));
    }
}

// A camera unplugged and plugged in again between two looks at the camera
// list keeps its place here, and its node: the old binding only fails.
bool ViscaCamera::reopened()
{
    if (!m_session || !m_session->deviceGone()) {
        return false;
    }
    m_recallReply = nullptr;
    m_session.reset();
    m_open = false;
    return open();
}

// False when the camera cannot do it now; `socket` 0 when the replies
// were given already.
bool ViscaCamera::act(const Visca::Command& command, const Reply& reply, int* socket)
{
    using Visca::Kind;
    CameraMover& mover = m_session->mover();
    const Kind kind = command.kind;
    if (kind == Kind::PowerOn || kind == Kind::PowerOff) {
        // A USB camera cannot be switched off from here: standby stops the
        // head and refuses moves until the controller switches it on.
        if (kind == Kind::PowerOff) {
            stopAll();
        }
        m_standby = kind == Kind::PowerOff;
        return true;
    }
    if (m_standby) {
        return false;
    }
    if (kind == Kind::FramingOn || kind == Kind::FramingOff) {
        if (kind == Kind::FramingOn) {
            // Framing steers the head from now on: a drive the controller
            // left running would fight it.
            stopAll();
        }
        return m_framing && m_framing(m_camera, kind == Kind::FramingOn);
    }
    PtzPosition position;
    switch (kind) {
    case Kind::Drive:
        return drive(command);
    case Kind::Absolute:
    case Kind::Relative: {
        int pan = command.pan;
        int tilt = command.tilt;
        int nowPan = 0;
        int nowTilt = 0;
        if (kind == Kind::Relative &&
            (!viscaValue(m_pan, &nowPan) || !viscaValue(m_tilt, &nowTilt))) {
            return false;
        }
        pan = kind == Kind::Relative ? qBound(-kPanTiltLimit, nowPan + pan, kPanTiltLimit) : pan;
        tilt =
            kind == Kind::Relative ? qBound(-kPanTiltLimit, nowTilt + tilt, kPanTiltLimit) : tilt;
        return moveAxis(m_pan, pan) && moveAxis(m_tilt, tilt);
    }
    case Kind::Home:
    case Kind::PanTiltReset:
        mover.home();
        m_pan.sent = m_tilt.sent = false;
        return true;
    case Kind::ZoomStop:
        mover.stopZoom();
        return true;
    case Kind::ZoomTele:
    case Kind::ZoomWide:
        mover.startZoom(kind == Kind::ZoomTele ? 1 : -1);
        return true;
    case Kind::ZoomDirect:
        return moveAxis(m_zoomAxis, command.zoom);
    case Kind::MemoryReset:
        CameraProfileStore::removePreset(m_key, command.memory);
        return true;
    case Kind::MemorySet:
        if (!mover.hasPositions() || !mover.position(&position)) {
            return false;
        }
        CameraProfileStore::setPreset(m_key, command.memory, position);
        return true;
    case Kind::MemoryRecall:
        *socket = 0;
        return recall(command, reply);
    default:
        return false;
    }
}

bool ViscaCamera::drive(const Visca::Command& command)
{
    CameraMover& mover = m_session->mover();
    bool moved = true;
    const struct
    {
        long property;
        int direction;
        CameraMover::Speed speed;
    } axes[] = {
        {propertyOf("pan-right"), command.panDirection,
         speedOf(command.panSpeed, Visca::kMaxPanSpeed)},
        {propertyOf("tilt-up"), command.tiltDirection,
         speedOf(command.tiltSpeed, Visca::kMaxTiltSpeed)},
    };
    for (const auto& axis : axes) {
        if (axis.direction == 0) {
            mover.stopRelative(axis.property);
        } else {
            moved = mover.startRelative(axis.property, axis.direction, axis.speed) && moved;
        }
    }
    m_pan.sent = m_tilt.sent = false;
    return moved;
}

bool ViscaCamera::moveAxis(Axis& axis, int viscaValue)
{
    if (!axis.known) {
        return false;
    }
    const long value = toCamera(axis, viscaValue);
    if (m_session->mover().setPosition(axis.property, value) < 0) {
        return false;
    }
    axis.sent = true;
    axis.cameraValue = value;
    axis.viscaValue = viscaValue;
    return true;
}

bool ViscaCamera::recall(const Visca::Command& command, const Reply& reply)
{
    PtzPosition target;
    if (!CameraProfileStore::preset(m_key, command.memory, &target)) {
        return false;
    }
    reply(Visca::ack(command.address, kSocket));
    m_recallAddress = command.address;
    m_recallReply = reply;
    if (!m_session->mover().moveTo(target)) {
        m_recallReply = nullptr;
        reply(Visca::error(command.address, kSocket, Visca::kNotExecutable));
    }
    return true;
}

void ViscaCamera::stopAll()
{
    CameraMover& mover = m_session->mover();
    mover.stopRelative(propertyOf("pan-right"));
    mover.stopRelative(propertyOf("tilt-up"));
    mover.stopZoom();
}

QByteArray ViscaCamera::inquiry(const Visca::Command& command)
{
    using Visca::Kind;
    int pan = 0;
    int tilt = 0;
    switch (command.kind) {
    case Kind::AskPower:
        return QByteArray(1, m_standby ? 0x03 : 0x02);
    case Kind::AskZoom:
        return viscaValue(m_zoomAxis, &pan) ? Visca::nibbles(pan, 4) : QByteArray();
    case Kind::AskPanTilt:
        if (!viscaValue(m_pan, &pan) || !viscaValue(m_tilt, &tilt)) {
            return QByteArray();
        }
        return Visca::nibbles(pan & 0xFFFF, 4) + Visca::nibbles(tilt & 0xFFFF, 4);
    case Kind::AskVersion:
        // Vendor and model unassigned, version 1.0, two command buffers.
        return QByteArray("\x00\x00\x00\x00\x01\x00\x02", 7);
    default:
        return QByteArray();
    }
}

bool ViscaCamera::viscaValue(Axis& axis, int* value)
{
    long now = 0;
    CameraControl* control = m_session->main().cameraControl;
    if (!axis.known || !control || control->Get(axis.property, &now) < 0) {
        return false;
    }
    *value = axis.sent && axis.cameraValue == now ? axis.viscaValue : toVisca(axis, now);
    return true;
}

// Pan and tilt span -0x7FFF to 0x7FFF, so that the middle of a
// symmetric range is 0; zoom spans 0 (wide) to Visca::kZoomTele.
long ViscaCamera::toCamera(const Axis& axis, int value) const
{
    const bool zoom = &axis == &m_zoomAxis;
    const double low = zoom ? 0 : -kPanTiltLimit;
    const double span = zoom ? Visca::kZoomTele : 2.0 * kPanTiltLimit;
    const double share = qBound(0.0, (value - low) / span, 1.0);
    return axis.minimum + std::lround(share * double(axis.maximum - axis.minimum));
}

int ViscaCamera::toVisca(const Axis& axis, long value) const
{
    const bool zoom = &axis == &m_zoomAxis;
    const double low = zoom ? 0 : -kPanTiltLimit;
    const double span = zoom ? Visca::kZoomTele : 2.0 * kPanTiltLimit;
    const double share =
        qBound(0.0, double(value - axis.minimum) / double(axis.maximum - axis.minimum), 1.0);
    return int(std::lround(low + share * span));
}
