#include "agentframing.h"

#include "clicapture.h"
#include "controlchannel.h"
#include "framingengine.h"
#include "ptzhead.h"
#include "vorn_cameraproperty.h"

namespace {

// On the agent's thread, before the channel's worker takes the property
// over: the answer to a switch on is wanted at once.
PtzLayout openHead(Vorn_CameraProperty& property, const QString& device)
{
    property.open(device);
    return PtzLayout::read(property.cameraControl);
}

} // namespace

struct AgentFraming::Session
{
    explicit Session(const CliCamera& camera)
        : property(MainUnitSet), zoom(ZoomUnitSet),
          layout(openHead(property, camera.camera.deviceName())), channel(property, zoom),
          engine(channel), capture(camera)
    {
    }
    // Declared in the order they must go: the stream stops before the
    // engine that takes its frames, the engine before the channel that
    // moves the head (its worker still does what framing sent last), the
    // channel before the property instances its worker uses.
    Vorn_CameraProperty property;
    Vorn_CameraProperty zoom;
    PtzLayout layout;
    ControlChannel channel;
    FramingEngine engine;
    CliCapture capture;
};

AgentFraming::AgentFraming(QObject* parent) : QObject(parent) {}

AgentFraming::~AgentFraming() = default;

bool AgentFraming::set(const CliCamera& camera, bool on, QString* problem)
{
    const QString device = camera.camera.deviceName();
    if (!on) {
        if (isOn(device)) {
            forget(device);
            emit switched(device, false);
        }
        return true;
    }
    if (isOn(device)) {
        return true;
    }
    auto session = std::make_unique<Session>(camera);
    if (!session->engine.bind(session->layout, problem) || !session->engine.start(problem)) {
        return false;
    }
    FramingEngine* engine = &session->engine;
    connect(engine, &FramingEngine::acted, this,
            [this, device](const QString& what) { emit acted(device, what); });
    session->capture.setFrameListener([engine](const QImage& frame) { engine->offerFrame(frame); });
    if (!session->capture.start()) {
        *problem = QStringLiteral("no picture from camera %1: another program streams from it, "
                                  "or it failed")
                       .arg(camera.index);
        return false;
    }
    m_sessions[device] = std::move(session);
    emit switched(device, true);
    return true;
}

QImage AgentFraming::latestFrame(const QString& device) const
{
    const auto it = m_sessions.find(device);
    return it == m_sessions.end() ? QImage() : it->second->capture.latestFrame();
}

void AgentFraming::forget(const QString& device)
{
    const auto it = m_sessions.find(device);
    if (it == m_sessions.end()) {
        return;
    }
    // Its last words ("auto framing off") are not the engine's to tell:
    // a switch off is told by `switched`, a camera gone by whoever saw it go.
    const std::unique_ptr<Session> session = std::move(it->second);
    m_sessions.erase(it);
    session->engine.disconnect(this);
    session->engine.stop();
}
