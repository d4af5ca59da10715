// agent: the cameras' profiles kept without the window, until Ctrl-C or SIGTERM.

#include "clicommands.h"
#include "clioutput.h"
#include "interruptwatcher.h"
#include "profileagent.h"
#include "viscaservice.h"

#include <QDateTime>
#include <QEventLoop>

namespace CliCommands {

int agent(const QStringList& arguments, CliOutput& out)
{
    QStringList args = arguments;
    ViscaService::Options visca;
    QString problem;
    if (!ViscaService::takeOptions(&args, &visca, &problem)) {
        return out.error(ExitUsage, problem);
    }
    if (!args.isEmpty()) {
        return out.error(ExitUsage, QStringLiteral("usage: lumora-ctl agent [--visca[=ADDR:PORT]] "
                                                   "[--visca-allow=ADDR,...]; see \"lumora-ctl "
                                                   "agent --help\""));
    }
    // Each action is a line on standard error, as a service's log; --json
    // has no document to give for a process that runs until stopped.
    const auto log = [&out](const QString& text) {
        out.progress(QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz ")) + text);
    };
    InterruptWatcher interrupts;
    ProfileAgent agent;
    QObject::connect(&agent, &ProfileAgent::logLine, log);
    ViscaService network(visca);
    if (visca.enabled) {
        if (!network.start(&problem)) {
            return out.error(ExitFailure, QStringLiteral("VISCA cannot listen on %1").arg(problem));
        }
        QObject::connect(&network, &ViscaService::logLine, log);
        QObject::connect(&agent, &ProfileAgent::camerasListed, &network, &ViscaService::setCameras);
    }
    log(QStringLiteral("agent started (%1); Ctrl-C or SIGTERM stops it").arg(agent.watchingWhat()));
    agent.start();
    QEventLoop loop;
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &loop, &QEventLoop::quit);
    if (interrupts.count() == 0) {
        loop.exec();
    }
    out.afterInterruptEcho();
    log(QStringLiteral("agent stopped"));
    return ExitSuccess;
}

} // namespace CliCommands
