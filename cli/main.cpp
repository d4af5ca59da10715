// lumora-ctl: every camera function of Lumora from the command line.

#include "clicommands.h"
#include "clihelp.h"
#include "clioutput.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QStringList>

#include <cstdio>

extern "C" {
#include <libavutil/log.h>
}

namespace {

int printText(const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return ExitSuccess;
}

// "--from=FILE" is "--from FILE" (and the agent's "--http=ADDR:PORT");
// options that take no value refuse one.
bool splitOptionValues(QStringList* args, CliOutput& out)
{
    for (int i = 0; i < args->size(); ++i) {
        const QString arg = args->at(i);
        if (!arg.startsWith(QLatin1String("--")) || !arg.contains(QLatin1Char('='))) {
            continue;
        }
        const QString option = arg.section(QLatin1Char('='), 0, 0);
        // The agent's network options keep their value attached (cliagent.cpp).
        if (option.startsWith(QLatin1String("--visca"))) {
            continue;
        }
        if (option != QLatin1String("--from") && option != QLatin1String("--seconds") &&
            option != QLatin1String("--http") && option != QLatin1String("--mode")) {
            out.error(ExitUsage, QStringLiteral("%1 takes no value; write \"%1\" alone, or run "
                                                "\"lumora-ctl --help\"")
                                     .arg(option));
            return false;
        }
        args->replace(i, option);
        args->insert(i + 1, arg.section(QLatin1Char('='), 1));
        ++i;
    }
    return true;
}

// The capture and recording libraries talk on standard error (FFmpeg's
// device and encoder notes, x264's statistics); a tool's standard error is
// for its own sentences unless the user asks for more.
void setLibraryChatter(bool verbose)
{
    av_log_set_level(verbose ? AV_LOG_INFO : AV_LOG_QUIET);
    // The program's own diagnostic lines likewise, unless QT_LOGGING_RULES
    // says otherwise.
    if (verbose || qEnvironmentVariableIsEmpty("QT_LOGGING_RULES")) {
        QLoggingCategory::setFilterRules(verbose ? QStringLiteral("default.debug=true")
                                                 : QStringLiteral("default.debug=false"));
    }
}

int run(QStringList args)
{
    const bool json = args.removeAll(QStringLiteral("--json")) > 0;
    setLibraryChatter(args.removeAll(QStringLiteral("--verbose")) > 0);
    CliOutput out(json);
    if (!splitOptionValues(&args, out)) {
        return out.finish(ExitUsage);
    }
    if (args.isEmpty()) {
        std::fputs(generalHelp().toLocal8Bit().constData(), stderr);
        return out.finish(out.error(ExitUsage, QStringLiteral("no command given; run "
                                                              "\"lumora-ctl --help\"")));
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("--version")) {
        return printText(QStringLiteral("lumora-ctl %1\n").arg(QStringLiteral(LUMORA_VERSION)));
    }
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        command == QLatin1String("help")) {
        return printText(args.isEmpty() ? generalHelp() : commandHelp(args.first()));
    }
    // Hidden: the build writes the man page with it.
    if (command == QLatin1String("--man")) {
        if (args.isEmpty()) {
            return printText(manPage());
        }
        QFile page(args.first());
        if (!page.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            page.write(manPage().toUtf8()) < 0) {
            return out.finish(
                out.error(ExitFailure, QStringLiteral("cannot write %1").arg(args.first())));
        }
        return ExitSuccess;
    }
    if (!isCommand(command)) {
        return out.finish(out.error(ExitUsage, QStringLiteral("there is no command \"%1\"; run "
                                                              "\"lumora-ctl --help\" to see them")
                                                   .arg(command)));
    }
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        return printText(commandHelp(command));
    }
    // The agent reads its own options (cliagent.cpp).
    for (const QString& arg : command == QLatin1String("agent") ? QStringList() : args) {
        if (arg.startsWith(QLatin1String("--")) && arg != QLatin1String("--from") &&
            arg != QLatin1String("--seconds") && arg != QLatin1String("--keep-going") &&
            arg != QLatin1String("--mode")) {
            return out.finish(out.error(ExitUsage, QStringLiteral("unknown option %1; run "
                                                                  "\"lumora-ctl %2 --help\"")
                                                       .arg(arg, command)));
        }
    }
    using Command = int (*)(const QStringList&, CliOutput&);
    const struct
    {
        const char* name;
        Command run;
    } commands[] = {
        {"list", CliCommands::list},         {"controls", CliCommands::controls},
        {"get", CliCommands::get},           {"set", CliCommands::set},
        {"snapshot", CliCommands::snapshot}, {"record", CliCommands::record},
        {"upgrade", CliCommands::upgrade},   {"profile", CliCommands::profile},
        {"preset", CliCommands::preset},     {"frame", CliCommands::frame},
        {"agent", CliCommands::agent},       {"modes", CliCommands::modes},
    };
    for (const auto& entry : commands) {
        if (command == QLatin1String(entry.name)) {
            return out.finish(entry.run(args, out));
        }
    }
    return out.finish(ExitUsage);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("lumora-ctl"));
    return run(app.arguments().mid(1));
}
