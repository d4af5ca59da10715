// agent: the cameras' profiles kept without the window, until Ctrl-C or SIGTERM.

#include "clicommands.h"
#include "clioutput.h"
#include "interruptwatcher.h"
#include "profileagent.h"

#include <QDateTime>
#include <QEventLoop>

namespace CliCommands {

int agent(const QStringList& args, CliOutput& out)
{
    if (!args.isEmpty()) {
        return out.error(ExitUsage, QStringLiteral("usage: lumora-ctl agent; see \"lumora-ctl "
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
