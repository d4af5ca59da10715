// agent: the cameras' profiles kept without the window, until Ctrl-C or SIGTERM.

#include "agentframing.h"
#include "clicommands.h"
#include "clioutput.h"
#include "cliselection.h"
#include "interruptwatcher.h"
#include "profileagent.h"
#include "viscaservice.h"

#ifdef LUMORA_HTTP_SERVER
#include "apihandler.h"
#include "apitoken.h"
#include "httpserver.h"
#include "requestcounter.h"

#include <QNetworkInterface>
#endif

#include <QDateTime>
#include <QEventLoop>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

constexpr quint16 kDefaultHttpPort = 8740;

struct AgentOptions
{
    bool http = false;
    QString address = QStringLiteral("127.0.0.1");
    quint16 port = kDefaultHttpPort;
    bool showToken = false;
};

// --http=ADDR:PORT comes here as "--http ADDR:PORT" (main.cpp).
bool parseOptions(const QStringList& args, AgentOptions* options)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("--show-token")) {
            options->showToken = true;
        } else if (arg == QLatin1String("--http")) {
            options->http = true;
        } else if (i > 0 && args.at(i - 1) == QLatin1String("--http")) {
            const QString where = arg;
            const int colon = where.lastIndexOf(QLatin1Char(':'));
            bool ok = false;
            const uint port = where.mid(colon + 1).toUInt(&ok);
            if (colon < 1 || !ok || port == 0 || port > 65535) {
                return false;
            }
            options->address = where.left(colon);
            options->port = quint16(port);
        } else {
            return false;
        }
    }
    return true;
}

#ifdef LUMORA_HTTP_SERVER
// The token alone on standard output, for scripts; the web remote's
// address beside it for the user. The token rides in the fragment, which a
// browser keeps to itself: it never reaches a server's log.
int showToken(const AgentOptions& options, const CliOutput& out)
{
    const QByteArray token = ApiToken::current();
    std::printf("%s\n", token.constData());
    // On every interface, the page is opened by one of this machine's
    // addresses (a phone on the network uses one of these).
    QStringList hosts{options.address};
    if (options.address == QLatin1String("0.0.0.0")) {
        hosts = QStringList{QStringLiteral("127.0.0.1")};
        const QList<QHostAddress> addresses = QNetworkInterface::allAddresses();
        for (const QHostAddress& address : addresses) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback()) {
                hosts << address.toString();
            }
        }
    }
    for (const QString& host : qAsConst(hosts)) {
        out.progress(QStringLiteral("web remote: http://%1:%2/#token=%3")
                         .arg(host)
                         .arg(options.port)
                         .arg(QString::fromLatin1(token)));
    }
    return ExitSuccess;
}

// The HTTP API and what it needs, made only when --http asks for it.
struct HttpParts
{
    RequestCounter requests;
    std::unique_ptr<ApiHandler> handler;
    std::unique_ptr<HttpServer> server;
};
#endif

// VISCA's auto framing command, carried out by the agent's framing as the
// HTTP API's switch is.
ViscaCamera::FramingSwitch framingSwitch(AgentFraming& framing,
                                         const std::function<void(const QString&)>& log)
{
    return [&framing, log](const VideoInputInfo& camera, bool on) {
        const QList<CliCamera> cameras = discoverCameras();
        const auto it =
            std::find_if(cameras.cbegin(), cameras.cend(), [&camera](const CliCamera& c) {
                return c.camera.deviceName() == camera.deviceName();
            });
        QString problem = QStringLiteral("it is gone");
        if (it != cameras.cend() && framing.set(*it, on, &problem)) {
            return true;
        }
        log(QStringLiteral("VISCA: auto framing of %1 not switched %2: %3")
                .arg(camera.description(), on ? QStringLiteral("on") : QStringLiteral("off"),
                     problem));
        return false;
    };
}

} // namespace

namespace CliCommands {

int agent(const QStringList& arguments, CliOutput& out)
{
    QStringList args = arguments;
    ViscaService::Options visca;
    QString problem;
    if (!ViscaOptions::take(&args, &visca, &problem)) {
        return out.error(ExitUsage, problem);
    }
    AgentOptions options;
    if (!parseOptions(args, &options) || (options.showToken && visca.enabled)) {
        return out.error(
            ExitUsage,
            QStringLiteral("usage: lumora-ctl agent [--visca[=ADDR:PORT]] "
                           "[--visca-allow=ADDR,...] [--http[=ADDR:PORT]] "
                           "| agent --show-token [--http=ADDR:PORT]; see \"lumora-ctl agent "
                           "--help\""));
    }
#ifdef LUMORA_HTTP_SERVER
    if (options.showToken) {
        return showToken(options, out);
    }
#else
    if (options.http || options.showToken) {
        return out.error(ExitRefused, QStringLiteral("this build has no HTTP server"));
    }
#endif
    // Each action is a line on standard error, as a service's log; --json
    // has no document to give for a process that runs until stopped.
    const auto log = [&out](const QString& text) {
        out.progress(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz ")) + text);
    };
    InterruptWatcher interrupts;
    ProfileAgent agent;
    QObject::connect(&agent, &ProfileAgent::logLine, log);
    AgentFraming framing;
    QObject::connect(
        &agent, &ProfileAgent::cameraUnplugged, &framing,
        [&framing](const VideoInputInfo& camera) { framing.forget(camera.deviceName()); });
    QObject::connect(&framing, &AgentFraming::switched, [log](const QString& device, bool on) {
        log(QStringLiteral("auto framing %1 for %2").arg(on ? "on" : "off", device));
    });
    ViscaService network(visca);
    network.setFramingSwitch(framingSwitch(framing, log));
    if (visca.enabled) {
        if (!network.start(&problem)) {
            return out.error(ExitFailure, QStringLiteral("VISCA cannot listen on %1").arg(problem));
        }
        QObject::connect(&network, &ViscaService::logLine, log);
        QObject::connect(&agent, &ProfileAgent::camerasListed, &network, &ViscaService::setCameras);
    }
#ifdef LUMORA_HTTP_SERVER
    HttpParts http;
    if (options.http) {
        http.handler = std::make_unique<ApiHandler>(agent, framing, http.requests);
        http.server = std::make_unique<HttpServer>(*http.handler, http.requests);
        if (!http.server->start(options.address, options.port, &problem)) {
            return out.error(ExitFailure, problem);
        }
        log(QStringLiteral("HTTP API listening on http://%1:%2/api/v1/, the web remote on "
                           "http://%1:%2/ (lumora-ctl agent --show-token gives its address with "
                           "the token)")
                .arg(options.address)
                .arg(options.port));
    }
#endif
    log(QStringLiteral("agent started (%1); Ctrl-C or SIGTERM stops it").arg(agent.watchingWhat()));
    agent.start();
    QEventLoop loop;
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &loop, &QEventLoop::quit);
    if (interrupts.count() == 0) {
        loop.exec();
    }
    out.afterInterruptEcho();
#ifdef LUMORA_HTTP_SERVER
    if (http.server) {
        http.server->stop();
    }
#endif
    log(QStringLiteral("agent stopped"));
    return ExitSuccess;
}

} // namespace CliCommands
