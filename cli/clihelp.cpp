#include "clihelp.h"

#include "clicontrols.h"

#include <QList>
#include <QStringList>

namespace {

struct CommandText
{
    const char* name;
    const char* synopsis;
    const char* summary;
    const char* details;
};

const CommandText kCommands[] = {
    {"list", "list",
     "List the cameras: index, description, device path, paired microphone, firmware version "
     "and whether another program holds the camera.",
     "The index is the camera's position among the USB cameras, as the window lists them and "
     "as the upgrade library counts them. A camera counts as held while another program streams "
     "from it, as the window does while it previews; list asks the system without starting a "
     "stream, so no camera light comes on. A camera unplugged meanwhile shows as gone."},
    {"controls", "controls [CAMERA]",
     "List the control names that get and set take, with their ranges; with a camera, the "
     "ranges that camera reports (contrast, pan, tilt, zoom).",
     nullptr},
    {"get", "get CAMERA [CONTROL...]", "Show the camera's controls, or only those named.",
     "With --json the output is the document that set --from takes, so that one camera's "
     "settings copy to others:\n"
     "  lumora-ctl get 0 --json > room.json\n"
     "  lumora-ctl set all --from room.json"},
    {"set", "set CAMERA CONTROL=VALUE... | set CAMERA --from FILE|-",
     "Set controls. Every value is checked on every camera first: a value out of range is "
     "refused with the range, and nothing is written unless everything fits.",
     "Switches take on or off, the image style meeting or live, exposure auto or a number, "
     "motions (pan-left, zoom-in, ...) the milliseconds to move, home and factory-reset no "
     "value. Ctrl-C or SIGTERM stops a motion at once. --from reads a document printed by get "
     "--json (- for standard input) and writes its writable controls; a name that is no "
     "control is refused and nothing is written. A document of one camera goes to every "
     "camera; of several (get all --json), each camera takes the values of the one with its "
     "device path and description, else of its index, and is told which it took. The "
     "controls are read back afterwards and shown as get shows them. Changing audio restarts "
     "the camera, so it is sent only when it changes. pan, tilt and zoom are absolute "
     "positions; speed (slow, normal, fast) is the pan and tilt speed of the motions here, of "
     "the window's pad and of its keys."},
    {"profile", "profile show|save|apply|hold|release|clear CAMERA",
     "Show, save, apply, hold or forget the camera's profile: the values of the window's video "
     "and audio pages that follow the camera, kept under its USB serial number (or its ids and "
     "USB port).",
     "show prints the profile as get prints controls (with --json the same document, which set "
     "--from takes); save stores the values the camera holds now; apply writes the values that "
     "differ from the camera's; hold asks lumora-ctl agent to set back a value another program "
     "changes, release stops that; clear forgets the values and the presets. The window keeps "
     "the profile up to date as the pages change."},
    {"preset", "preset save|recall|list CAMERA [N]",
     "Save the camera's pan, tilt and zoom as preset N (1 to 9), move back to it, or list "
     "the presets.",
     "Presets are kept in the camera's profile and are the same as the window's preset "
     "buttons. A recall glides to the position in small absolute steps. A camera without "
     "absolute pan, tilt and zoom has no presets."},
    {"modes", "modes CAMERA",
     "List the modes the camera offers, one WIDTHxHEIGHT@FPS FORMAT a line: its sizes, frame "
     "rates and formats (mjpeg, yuyv, nv12, h264), as its driver lists them.",
     "--mode WIDTHxHEIGHT@FPS[/FORMAT] of snapshot, record and frame takes one of them, e.g. "
     "--mode 1920x1080@60 or --mode 1280x720@30/yuyv; without a format the camera's best at "
     "that size and rate (MJPEG where it has it). A mode the camera does not list is refused "
     "with the ones it does. Without --mode they capture in the mode chosen for the camera in "
     "the window, while the camera still offers it, else at 1280x720 or the nearest the "
     "camera has."},
    {"snapshot", "snapshot CAMERA FILE [--mode MODE]",
     "Save one picture at the camera's full size, without effects. The suffix of FILE chooses "
     "the format: png, jpg (jpeg), bmp or tif (tiff).",
     "--mode takes a mode of lumora-ctl modes; the picture then has its size."},
    {"record", "record CAMERA FILE [--seconds N] [--mode MODE]",
     "Record H.264 video with AAC sound from the camera's own microphone into FILE, which must "
     "end in .mp4: for N seconds (1 to 86400), or until Ctrl-C or SIGTERM.",
     "Ctrl-C or SIGTERM also ends a recording of N seconds early; either way the file is "
     "completed and playable, and lumora-ctl says how long it is. A camera unplugged during the "
     "recording ends it there; the file is kept, complete up to then. --mode takes a mode of "
     "lumora-ctl modes: the video has its size and frame rate; an h264 mode is recorded as the "
     "camera encoded it, not encoded again."},
    {"frame", "frame CAMERA [--seconds N] [--mode MODE]",
     "Auto framing without the window: keep the people in front of the camera framed with its "
     "pan, tilt and zoom, for N seconds (1 to 86400) or until Ctrl-C or SIGTERM, printing each "
     "decision as it is taken.",
     "With --json the decisions come as a log at the end: time, faces found and where the "
     "camera was sent. A manual move from another program is not seen; stop the command "
     "first. --mode takes a mode of lumora-ctl modes; faces are looked for in a small copy of "
     "each picture, whatever its size."},
    {"agent",
     "agent [--visca[=ADDR:PORT]] [--visca-allow=ADDR,...] [--http[=ADDR:PORT]] | agent "
     "--show-token [--http=ADDR:PORT]",
     "Keep every camera's profile applied without the window, until Ctrl-C or SIGTERM: when a "
     "camera is plugged in, when the machine wakes up, and for a held profile (profile hold) "
     "whenever another program changes a value.",
     "Only the values that differ from the camera's are written, and each action is one line "
     "on standard error. New cameras are seen from the kernel's device events, the wake-up "
     "from logind on the system bus. \"Restore my settings when the camera connects\" off in "
     "the window leaves plugged-in cameras alone; held profiles are kept in any case. "
     "--visca makes every USB camera a network PTZ camera: VISCA over UDP on PORT (52381 "
     "unless given) and bare VISCA over TCP on PORT+1000, the next camera on the next port, "
     "on 127.0.0.1 unless ADDR is given. VISCA has no authentication: only the clients of "
     "--visca-allow (default: this computer alone) get an answer.\n"
     "--http also serves the HTTP API on 127.0.0.1:8740, or on the address and port given: "
     "GET /api/v1/cameras, GET and PUT /api/v1/cameras/N/controls, POST "
     "/api/v1/cameras/N/move ({\"pan\": 1, \"tilt\": -1, \"zoom\": 0} or {\"stop\": "
     "true}), POST /api/v1/cameras/N/presets/P/save and .../recall, POST "
     "/api/v1/cameras/N/framing ({\"on\": true} or false: the agent frames the camera, "
     "streaming from it meanwhile), GET /api/v1/cameras/N/snapshot.jpg, the WebSocket "
     "/api/v1/events (cameras plugged and unplugged, controls changed, framing) and GET "
     "/metrics for Prometheus, with the documents of --json, and a web remote for a browser or "
     "phone at /. Every request needs \"Authorization: Bearer "
     "TOKEN\"; --show-token prints the token (made at first use and kept in the user's "
     "settings; LUMORA_API_TOKEN stands in for it) and, on standard error, the web remote's "
     "address with the token in its fragment (#token=...), for the address and port of "
     "--http. Requests from web pages of other origins are refused.\n"
     "The settings' network/viscaEnabled, network/viscaAddress, network/viscaAllow, "
     "network/httpEnabled and network/httpAddress switch the same servers on without options "
     "(the window serves them too while it runs); the options take precedence, and a port of "
     "the settings already served by the window is told and done without."},
    {"upgrade", "upgrade CAMERA FILE [--keep-going]",
     "Write a firmware file (.img image or .pkg package) into the camera, or into every camera "
     "with all, one after the other.",
     "Just before each write the camera is checked to be the one it was when the command "
     "started (description and device path); a camera that has gone or changed gets nothing. "
     "The upgrade stops at the first failure unless --keep-going is given. Ctrl-C or SIGTERM "
     "before a camera's write starts cancel it and the cameras after it; during the write "
     "they do not stop it, since a half-written camera may not start again: lumora-ctl says "
     "so, lets the write end and skips the cameras after it. On a terminal each "
     "camera shows a progress bar; otherwise each step is one line. The upgraded camera "
     "restarts and comes back with a new device path."},
};

const CommandText* find(const QString& name)
{
    for (const CommandText& command : kCommands) {
        if (name == QLatin1String(command.name)) {
            return &command;
        }
    }
    return nullptr;
}

const char kCamera[] =
    "CAMERA is an index from list, a device path, or all (every camera; not for snapshot and "
    "record).";
const char kOptions[] =
    "--json       print one JSON document on standard output, with stable field names\n"
    "--verbose    also show the diagnostic lines of Lumora and of FFmpeg and x264\n"
    "--help, -h   show this help, or the help of a command\n"
    "--version    show the version of lumora-ctl\n"
    "Options that take a value take it as the next word or after =: --seconds=10, "
    "--mode=1920x1080@60.";
const char kExit[] = "0 success; 1 no such camera or control, or a value refused; 2 a device "
                     "or library failure; 64 a usage error; 130 interrupted (Ctrl-C or "
                     "SIGTERM) before the work was done.";
const char kExamples[] = "lumora-ctl list\n"
                         "lumora-ctl set 0 exposure=auto flip-horizontal=on\n"
                         "lumora-ctl set 1 pan-left=1500\n"
                         "lumora-ctl set 0 speed=fast pan=20 zoom=50\n"
                         "lumora-ctl preset save 0 3\n"
                         "lumora-ctl preset recall 0 3\n"
                         "lumora-ctl profile show 0 --json\n"
                         "lumora-ctl get all --json > room.json\n"
                         "lumora-ctl set all --from room.json\n"
                         "lumora-ctl snapshot 0 desk.png\n"
                         "lumora-ctl modes 0\n"
                         "lumora-ctl record 0 meeting.mp4 --mode 1920x1080@30\n"
                         "lumora-ctl upgrade all firmware.pkg --keep-going";
const char kEnvironment[] =
    "LUMORA_SIMULATED_CAMERAS=N  use N simulated cameras instead of the system's, as the window "
    "does. Simulated cameras live in the process that creates them: lumora-ctl and the window "
    "each have their own, and each run of lumora-ctl starts with fresh ones.\n"
    "LUMORA_SIMULATED_STATE_DIR=FOLDER  keep the simulated cameras' settings in FOLDER from one "
    "run to the next.\n"
    "LUMORA_SIMULATED_UNPLUG=POSITION@MS[,...]  unplug a simulated camera that many "
    "milliseconds after start, or with @listed right after the cameras were first listed (for "
    "tests).";

QString controlsText()
{
    QStringList lines;
    for (const ControlDescriptor& control : ControlCatalogue::controls()) {
        const QString range = control.rangeText();
        lines << QStringLiteral("  %1 %2 %3")
                     .arg(control.name, -16)
                     .arg(range, -19)
                     .arg(control.help);
    }
    return lines.join(QLatin1Char('\n'));
}

constexpr int kColumns = 80;

// Help lines fit a terminal of 80 columns: a long line goes on under the
// text after its first gap of two or more blanks (a column), or under its
// own start.
QString wrapped(const QString& text)
{
    QStringList lines;
    for (QString line : text.split(QLatin1Char('\n'))) {
        int hanging = 0;
        for (int i = 0; i + 1 < qMin(line.size(), 45); ++i) {
            if (line.at(i) == QLatin1Char(' ') && line.at(i + 1) == QLatin1Char(' ')) {
                while (i < line.size() && line.at(i) == QLatin1Char(' ')) {
                    ++i;
                }
                hanging = i;
            }
        }
        while (line.size() > kColumns) {
            int cut = line.lastIndexOf(QLatin1Char(' '), kColumns);
            if (cut <= hanging) {
                break;
            }
            lines << line.left(cut);
            line = QString(hanging, QLatin1Char(' ')) + line.mid(cut + 1);
        }
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

QString roff(QString text)
{
    text.replace(QLatin1Char('\\'), QLatin1String("\\e"));
    text.replace(QLatin1Char('-'), QLatin1String("\\-"));
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.startsWith(QLatin1Char('.')) || line.startsWith(QLatin1Char('\''))) {
            line.prepend(QLatin1String("\\&"));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

bool isCommand(const QString& name)
{
    return find(name) != nullptr;
}

QString generalHelp()
{
    QStringList text;
    text << QStringLiteral("Usage: lumora-ctl [--json] COMMAND [ARGUMENTS]") << QString()
         << QStringLiteral("Every camera function of Lumora from the command line.") << QString()
         << QStringLiteral("Commands:");
    for (const CommandText& command : kCommands) {
        text << QStringLiteral("  %1").arg(QString::fromLatin1(command.synopsis))
             << QStringLiteral("      %1").arg(QString::fromLatin1(command.summary));
    }
    text << QString() << QString::fromLatin1(kCamera) << QString() << QStringLiteral("Options:")
         << QString::fromLatin1(kOptions) << QString()
         << QStringLiteral("Exit status: %1").arg(QString::fromLatin1(kExit)) << QString()
         << QStringLiteral("Environment:") << QString::fromLatin1(kEnvironment) << QString()
         << QStringLiteral("Examples:")
         << QString::fromLatin1(kExamples).replace(QLatin1String("lumora-ctl"),
                                                   QLatin1String("  lumora-ctl"))
         << QString() << QStringLiteral("Run \"lumora-ctl COMMAND --help\" for a command.");
    return wrapped(text.join(QLatin1Char('\n'))) + QLatin1Char('\n');
}

QString commandHelp(const QString& name)
{
    const CommandText* command = find(name);
    if (!command) {
        return generalHelp();
    }
    QStringList text;
    text << QStringLiteral("Usage: lumora-ctl [--json] %1")
                .arg(QString::fromLatin1(command->synopsis))
         << QString() << QString::fromLatin1(command->summary);
    if (command->details) {
        text << QString() << QString::fromLatin1(command->details);
    }
    if (QByteArray(command->synopsis).contains("CAMERA")) {
        text << QString() << QString::fromLatin1(kCamera);
    }
    if (name == QLatin1String("controls") || name == QLatin1String("get") ||
        name == QLatin1String("set")) {
        text << QString() << QStringLiteral("Controls:") << controlsText();
    }
    text << QString() << QStringLiteral("Exit status: %1").arg(QString::fromLatin1(kExit));
    return wrapped(text.join(QLatin1Char('\n'))) + QLatin1Char('\n');
}

QString manPage()
{
    QStringList page;
    page << QStringLiteral(".TH LUMORA-CTL 1 \"\" \"Lumora\" \"User Commands\"")
         << QStringLiteral(".SH NAME")
         << QStringLiteral("lumora\\-ctl \\- every camera function "
                           "of Lumora from the command line")
         << QStringLiteral(".SH SYNOPSIS")
         << QStringLiteral(".B lumora\\-ctl\n[\\-\\-json] COMMAND [ARGUMENTS]")
         << QStringLiteral(".SH COMMANDS");
    for (const CommandText& command : kCommands) {
        page << QStringLiteral(".TP")
             << QStringLiteral(".B %1").arg(roff(QString::fromLatin1(command.synopsis)))
             << roff(QString::fromLatin1(command.summary));
        if (command.details) {
            // Lines that start with blanks (the examples) stay lines of their own.
            page << QStringLiteral(".IP") << roff(QString::fromLatin1(command.details));
        }
    }
    page << QStringLiteral(".SH CAMERA") << roff(QString::fromLatin1(kCamera))
         << QStringLiteral(".SH CONTROLS") << QStringLiteral(".nf") << roff(wrapped(controlsText()))
         << QStringLiteral(".fi") << QStringLiteral(".SH OPTIONS") << QStringLiteral(".nf")
         << roff(wrapped(QString::fromLatin1(kOptions))) << QStringLiteral(".fi")
         << QStringLiteral(".SH EXIT STATUS") << roff(QString::fromLatin1(kExit))
         << QStringLiteral(".SH ENVIRONMENT") << QStringLiteral(".nf")
         << roff(wrapped(QString::fromLatin1(kEnvironment))) << QStringLiteral(".fi")
         << QStringLiteral(".SH EXAMPLES") << QStringLiteral(".nf")
         << roff(QString::fromLatin1(kExamples)) << QStringLiteral(".fi")
         << QStringLiteral(".SH SEE ALSO")
         << QStringLiteral(".BR lumora (1),\n.BR v4l2\\-ctl (1),\n.BR ffprobe (1)");
    return page.join(QLatin1Char('\n')) + QLatin1Char('\n');
}
