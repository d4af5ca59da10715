// lumora-ctl: every camera function of Lumora from the command line.

#include "clicommands.h"
#include "clihelp.h"
#include "clioutput.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

namespace {

int printText(const QString& text)
{
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return ExitSuccess;
}

int run(QStringList args)
{
    const bool json = args.removeAll(QStringLiteral("--json")) > 0;
    CliOutput out(json);
    if (args.isEmpty()) {
        std::fputs(generalHelp().toLocal8Bit().constData(), stderr);
        return out.finish(out.error(ExitUsage, QStringLiteral("no command given; run "
                                                              "\"lumora-ctl --help\"")));
    }
    const QString command = args.takeFirst();
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
    for (const QString& arg : args) {
        if (arg.startsWith(QLatin1String("--")) && arg != QLatin1String("--from") &&
            arg != QLatin1String("--seconds") && arg != QLatin1String("--keep-going")) {
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
        {"upgrade", CliCommands::upgrade},
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
    // Diagnostic lines of the libraries stay out of the tool's output
    // unless asked for with QT_LOGGING_RULES.
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES")) {
        qputenv("QT_LOGGING_RULES", "default.debug=false");
    }
    return run(app.arguments().mid(1));
}
