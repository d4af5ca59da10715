// agent: the cameras' profiles kept without the window, until Ctrl-C or SIGTERM.

#include "clicommands.h"
#include "clioutput.h"
#include "interruptwatcher.h"
#include "networkservers.h"
#include "profileagent.h"

#ifdef LUMORA_HTTP_SERVER
#include "apitoken.h"

#include <QNetworkInterface>
#endif

#include <QDateTime>
#include <QEventLoop>

#include <cstdio>
#include <functional>

namespace {

// The network servers come from the user's settings, each switched on or
// moved by the agent's options; a server the options ask for must listen.
struct AgentOptions
{
    NetworkOptions network;
    bool showToken = false;
    bool viscaAsked = false;
    bool httpAsked = false;
};

// --http=ADDR:PORT comes here as "--http ADDR:PORT" (main.cpp).
bool parseOptions(QStringList args, AgentOptions* options, QString* problem)
{
    options->showToken = args.removeAll(QStringLiteral("--show-token")) > 0;
    NetworkOptions given = options->network;
    given.visca.enabled = false;
    given.http = false;
    if (!ViscaOptions::take(&args, &given.visca, problem)) {
        return false;
    }
    const bool httpGiven = NetworkOptions::takeHttpOption(&args, &given);
    options->viscaAsked = given.visca.enabled;
    options->httpAsked = given.http;
    given.visca.enabled = given.visca.enabled || options->network.visca.enabled;
    given.http = given.http || options->network.http;
    options->network = given;
    return httpGiven && args.isEmpty();
}

#ifdef LUMORA_HTTP_SERVER
// The token alone on standard output, for scripts; the web remote's
// address beside it for the user. The token rides in the fragment, which a
// browser keeps to itself: it never reaches a server's log.
int showToken(const NetworkOptions& options, const CliOutput& out)
{
    const QByteArray token = ApiToken::current();
    std::printf("%s\n", token.constData());
    // On every interface, the page is opened by one of this machine's
    // addresses (a phone on the network uses one of these).
    QStringList hosts{options.httpAddress};
    if (options.httpAddress == QLatin1String("0.0.0.0")) {
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
                         .arg(options.httpPort)
                         .arg(QString::fromLatin1(token)));
    }
    return ExitSuccess;
}
#endif

// A server the options ask for must listen, or the agent does not start; one
// only the settings switch on may be held by the window already, and the
// agent goes on without it.
bool startServer(bool (NetworkServers::*start)(QString*), NetworkServers& servers, bool asked,
                 CliOutput& out, const std::function<void(const QString&)>& log)
{
    QString problem;
    if ((servers.*start)(&problem)) {
        return true;
    }
    if (asked) {
        out.error(ExitFailure, problem);
        return false;
    }
    log(problem + QStringLiteral(" (switched on in the settings; the agent goes on without it)"));
    return true;
}

} // namespace

namespace CliCommands {

int agent(const QStringList& arguments, CliOutput& out)
{
    AgentOptions options;
    QString problem;
    if (!NetworkOptions::fromSettings(&options.network, &problem)) {
        return out.error(ExitUsage, problem);
    }
    if (!parseOptions(arguments, &options, &problem) || (options.showToken && options.viscaAsked)) {
        return out.error(
            ExitUsage,
            !problem.isEmpty()
                ? problem
                : QStringLiteral("usage: lumora-ctl agent [--visca[=ADDR:PORT]] "
                                 "[--visca-allow=ADDR,...] [--http[=ADDR:PORT]] "
                                 "| agent --show-token [--http=ADDR:PORT]; see \"lumora-ctl agent "
                                 "--help\""));
    }
#ifdef LUMORA_HTTP_SERVER
    if (options.showToken) {
        return showToken(options.network, out);
    }
#else
    if (options.httpAsked || options.showToken) {
        return out.error(ExitRefused, QStringLiteral("this build has no HTTP server"));
    }
    options.network.http = false;
#endif
    // Each action is a line on standard error, as a service's log; --json
    // has no document to give for a process that runs until stopped.
    const auto log = [&out](const QString& text) {
        out.progress(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz ")) + text);
    };
    InterruptWatcher interrupts;
    ProfileAgent agent;
    QObject::connect(&agent, &ProfileAgent::logLine, log);
    NetworkServers servers(options.network, agent);
    QObject::connect(&servers, &NetworkServers::logLine, log);
    if ((options.network.visca.enabled &&
         !startServer(&NetworkServers::startVisca, servers, options.viscaAsked, out, log)) ||
        (options.network.http &&
         !startServer(&NetworkServers::startHttp, servers, options.httpAsked, out, log))) {
        return ExitFailure;
    }
    log(QStringLiteral("agent started (%1); Ctrl-C or SIGTERM stops it").arg(agent.watchingWhat()));
    agent.start();
    QEventLoop loop;
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &loop, &QEventLoop::quit);
    if (interrupts.count() == 0) {
        loop.exec();
    }
    out.afterInterruptEcho();
    servers.stop();
    log(QStringLiteral("agent stopped"));
    return ExitSuccess;
}

} // namespace CliCommands
