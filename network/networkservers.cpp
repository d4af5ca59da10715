#include "networkservers.h"

#include "agentframing.h"
#include "cliselection.h"
#include "profileagent.h"
#include "viscaservice.h"

#ifdef LUMORA_HTTP_SERVER
#include "apihandler.h"
#include "httpserver.h"
#include "requestcounter.h"
#endif

#include <algorithm>

namespace {

// VISCA's auto framing command, carried out by the shared framing as the
// HTTP API's switch is.
ViscaCamera::FramingSwitch framingSwitch(AgentFraming& framing, NetworkServers& servers)
{
    return [&framing, &servers](const VideoInputInfo& camera, bool on) {
        const QList<CliCamera> cameras = discoverCameras();
        const auto it =
            std::find_if(cameras.cbegin(), cameras.cend(), [&camera](const CliCamera& c) {
                return c.camera.deviceName() == camera.deviceName();
            });
        QString problem = QStringLiteral("it is gone");
        if (it != cameras.cend() && framing.set(*it, on, &problem)) {
            return true;
        }
        emit servers.logLine(QStringLiteral("VISCA: auto framing of %1 not switched %2: %3")
                                 .arg(camera.description(),
                                      on ? QStringLiteral("on") : QStringLiteral("off"), problem));
        return false;
    };
}

} // namespace

// The HTTP API and what it needs, made only when it is started.
struct NetworkServers::Http
{
#ifdef LUMORA_HTTP_SERVER
    RequestCounter requests;
    std::unique_ptr<ApiHandler> handler;
    std::unique_ptr<HttpServer> server;
#endif
};

NetworkServers::NetworkServers(const NetworkOptions& options, ProfileAgent& agent, QObject* parent)
    : QObject(parent), m_options(options), m_agent(agent),
      m_framing(std::make_unique<AgentFraming>()),
      m_visca(std::make_unique<ViscaService>(options.visca))
{
    connect(&agent, &ProfileAgent::cameraUnplugged, m_framing.get(),
            [this](const VideoInputInfo& camera) { m_framing->forget(camera.deviceName()); });
    connect(m_framing.get(), &AgentFraming::switched, this, [this](const QString& device, bool on) {
        emit logLine(QStringLiteral("auto framing %1 for %2").arg(on ? "on" : "off", device));
    });
    m_visca->setFramingSwitch(framingSwitch(*m_framing, *this));
}

NetworkServers::~NetworkServers()
{
    stop();
}

bool NetworkServers::hasHttp()
{
#ifdef LUMORA_HTTP_SERVER
    return true;
#else
    return false;
#endif
}

bool NetworkServers::startVisca(QString* problem)
{
    QString where;
    if (!m_visca->start(&where)) {
        *problem = QStringLiteral("VISCA cannot listen on %1").arg(where);
        return false;
    }
    m_viscaListening = true;
    connect(m_visca.get(), &ViscaService::logLine, this, &NetworkServers::logLine);
    connect(&m_agent, &ProfileAgent::camerasListed, m_visca.get(), &ViscaService::setCameras);
    return true;
}

#ifdef LUMORA_HTTP_SERVER
bool NetworkServers::startHttp(QString* problem)
{
    auto http = std::make_unique<Http>();
    http->handler = std::make_unique<ApiHandler>(m_agent, *m_framing, http->requests);
    http->handler->setFrameSource(m_frames);
    http->server = std::make_unique<HttpServer>(*http->handler, http->requests);
    if (!http->server->start(m_options.httpAddress, m_options.httpPort, problem)) {
        return false;
    }
    m_http = std::move(http);
    emit logLine(QStringLiteral("HTTP API listening on http://%1:%2/api/v1/, the web remote on "
                                "http://%1:%2/ (lumora-ctl agent --show-token gives its address "
                                "with the token)")
                     .arg(m_options.httpAddress)
                     .arg(m_options.httpPort));
    return true;
}

void NetworkServers::stop()
{
    if (m_http) {
        m_http->server->stop();
        m_http.reset();
    }
}

bool NetworkServers::isHttpListening() const
{
    return m_http != nullptr;
}
#else
bool NetworkServers::startHttp(QString* problem)
{
    *problem = QStringLiteral("this build has no HTTP server");
    return false;
}

void NetworkServers::stop() {}

bool NetworkServers::isHttpListening() const
{
    return false;
}
#endif
