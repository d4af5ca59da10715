// modes, and the --mode option of the capturing commands.

#include "camerasession.h"
#include "clicommands.h"
#include "climode.h"
#include "clioutput.h"
#include "cliselection.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

QList<CaptureMode> modesOf(const CliCamera& camera)
{
    return CameraSession(camera.camera).modes();
}

} // namespace

namespace CliMode {

bool take(QStringList& args, CaptureMode* mode, bool* given, CliOutput& out)
{
    const int option = args.indexOf(QStringLiteral("--mode"));
    *given = option >= 0;
    if (option < 0) {
        return true;
    }
    const QString text = args.value(option + 1);
    const CaptureMode parsed = CaptureMode::fromString(text);
    if (parsed.isNull()) {
        out.error(ExitUsage, QStringLiteral("--mode takes WIDTHxHEIGHT@FPS[/FORMAT] (FORMAT "
                                            "mjpeg, yuyv, nv12 or h264), e.g. 1920x1080@30; "
                                            "\"%1\" is none")
                                 .arg(text));
        return false;
    }
    args.removeAt(option + 1);
    args.removeAt(option);
    *mode = parsed;
    return true;
}

bool offered(const CliCamera& camera, CaptureMode* mode, CliOutput& out)
{
    const QList<CaptureMode> modes = modesOf(camera);
    const CaptureMode found = CaptureMode::find(modes, *mode);
    if (!found.isNull()) {
        *mode = found;
        return true;
    }
    QStringList listed;
    for (const CaptureMode& each : modes) {
        listed << each.toString();
    }
    out.error(ExitRefused, QStringLiteral("camera %1 (%2) has no mode %3; it offers %4")
                               .arg(camera.index)
                               .arg(camera.camera.deviceName(), mode->toString(),
                                    listed.isEmpty() ? QStringLiteral("none it lists")
                                                     : listed.join(QStringLiteral(", "))));
    return false;
}

bool choose(const CliCamera& camera, bool given, CaptureMode* mode, CliOutput& out)
{
    if (given) {
        return offered(camera, mode, out);
    }
    const CaptureMode kept = CameraSession(camera.camera).keptMode();
    if (!kept.isNull()) {
        *mode = kept;
    }
    return true;
}

} // namespace CliMode

namespace CliCommands {

int modes(const QStringList& args, CliOutput& out)
{
    if (args.size() != 1) {
        return out.error(ExitUsage, QStringLiteral("usage: lumora-ctl modes CAMERA; see "
                                                   "\"lumora-ctl modes --help\""));
    }
    QString problem;
    const QList<CliCamera> cameras = selectCameras(args.first(), false, &problem);
    if (cameras.isEmpty()) {
        return out.error(ExitRefused, problem);
    }
    const CliCamera& camera = cameras.first();
    const QList<CaptureMode> modes = modesOf(camera);
    QJsonArray list;
    for (const CaptureMode& mode : modes) {
        list.append(
            QJsonObject{{QStringLiteral("mode"), mode.toString()},
                        {QStringLiteral("width"), mode.width()},
                        {QStringLiteral("height"), mode.height()},
                        {QStringLiteral("fps"), mode.fps()},
                        {QStringLiteral("format"), CaptureMode::formatName(mode.format())}});
        out.line(mode.listing());
    }
    QJsonObject result = cameraObject(camera);
    result.insert(QStringLiteral("modes"), list);
    out.document.insert(QStringLiteral("camera"), result);
    if (modes.isEmpty()) {
        return out.error(ExitFailure, QStringLiteral("camera %1 (%2) lists no modes; it is "
                                                     "captured in whatever it is set to")
                                          .arg(camera.index)
                                          .arg(camera.camera.deviceName()));
    }
    return ExitSuccess;
}

} // namespace CliCommands
