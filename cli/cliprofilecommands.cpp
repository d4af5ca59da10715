// profile and preset: the settings that follow a camera, as the window keeps them.

#include "cameraprofilestore.h"
#include "clicommands.h"
#include "clicontrols.h"
#include "clioutput.h"
#include "cliselection.h"

#include <QJsonArray>
#include <QJsonObject>

namespace {

QJsonObject positionObject(const PtzPosition& position)
{
    return QJsonObject{{QStringLiteral("pan"), int(position.pan)},
                       {QStringLiteral("tilt"), int(position.tilt)},
                       {QStringLiteral("zoom"), int(position.zoom)}};
}

QString positionText(const PtzPosition& position)
{
    return QStringLiteral("pan %1, tilt %2, zoom %3")
        .arg(position.pan)
        .arg(position.tilt)
        .arg(position.zoom);
}

// The preset number of a preset command; 0 when it is missing or wrong.
int presetNumber(const QStringList& args)
{
    bool ok = false;
    const int number = args.value(2).toInt(&ok);
    return ok && number >= 1 && number <= CameraProfileStore::kPresets ? number : 0;
}

QJsonObject profileObject(const CliCamera& camera)
{
    const QString key = CameraProfileStore::keyOf(camera.camera);
    QJsonObject object = cameraObject(camera);
    object.insert(QStringLiteral("profile"), key);
    object.insert(QStringLiteral("held"), CameraProfileStore::held(key));
    return object;
}

QJsonObject showProfile(const CliCamera& camera, CliOutput& out)
{
    const QString key = CameraProfileStore::keyOf(camera.camera);
    const QJsonObject values = CameraProfileStore::values(key);
    QJsonObject object = profileObject(camera);
    object.insert(QStringLiteral("controls"), values);
    if (values.isEmpty()) {
        out.line(QStringLiteral("camera %1 (%2) has no profile yet; the window keeps one "
                                "once its pages change")
                     .arg(camera.index)
                     .arg(camera.camera.deviceName()));
    } else {
        printControls(out, camera, values, ControlCatalogue::profileControls());
    }
    return object;
}

QJsonObject presetList(const CliCamera& camera, CliOutput& out)
{
    const QString key = CameraProfileStore::keyOf(camera.camera);
    QJsonObject object = cameraObject(camera);
    QJsonObject presets;
    out.line(QStringLiteral("camera %1: %2 (%3)")
                 .arg(camera.index)
                 .arg(camera.camera.description(), camera.camera.deviceName()));
    for (int number = 1; number <= CameraProfileStore::kPresets; ++number) {
        PtzPosition position;
        const bool saved = CameraProfileStore::preset(key, number, &position);
        presets.insert(QString::number(number),
                       saved ? QJsonValue(positionObject(position)) : QJsonValue());
        out.line(QStringLiteral("  preset %1  %2")
                     .arg(number)
                     .arg(saved ? positionText(position) : QStringLiteral("(not saved)")));
    }
    object.insert(QStringLiteral("presets"), presets);
    return object;
}

QJsonObject clearProfile(const CliCamera& camera, CliOutput& out)
{
    const QJsonObject object = profileObject(camera);
    CameraProfileStore::clear(CameraProfileStore::keyOf(camera.camera));
    out.line(QStringLiteral("camera %1: profile and presets forgotten").arg(camera.index));
    return object;
}

// The camera's values as it holds them now become its profile; presets stay.
QJsonObject saveProfile(CameraControlSession& session, const CliCamera& camera, CliOutput& out)
{
    const QString key = CameraProfileStore::keyOf(camera.camera);
    const QJsonObject now = session.controls().readProfile();
    if (now.isEmpty()) {
        out.error(ExitFailure,
                  QStringLiteral("camera %1 did not tell its values; the profile was left as it "
                                 "was")
                      .arg(camera.index));
        return profileObject(camera);
    }
    // A control that does not answer now keeps its stored value, as in the window.
    QJsonObject values = CameraProfileStore::values(key);
    for (auto it = now.begin(); it != now.end(); ++it) {
        values.insert(it.key(), it.value());
    }
    CameraProfileStore::setValues(key, values);
    out.line(QStringLiteral("camera %1: profile saved").arg(camera.index));
    printControls(out, camera, values, ControlCatalogue::profileControls());
    QJsonObject object = profileObject(camera);
    object.insert(QStringLiteral("controls"), values);
    return object;
}

QJsonObject applyProfile(CameraControlSession& session, const CliCamera& camera, CliOutput& out)
{
    const QString key = CameraProfileStore::keyOf(camera.camera);
    const QStringList written = session.controls().applyProfile(CameraProfileStore::values(key));
    out.progress(QStringLiteral("camera %1: %2")
                     .arg(camera.index)
                     .arg(written.isEmpty()
                              ? QStringLiteral("already as its profile says")
                              : QStringLiteral("wrote ") + written.join(QStringLiteral(", "))));
    QJsonObject object = reportControls(session, camera, ControlCatalogue::profileControls(), out);
    object.insert(QStringLiteral("written"), QJsonArray::fromStringList(written));
    return object;
}

// A held profile is kept by the agent: a value another program changes is
// set back. Holding a camera without a profile would keep nothing.
QJsonObject holdProfile(const CliCamera& camera, bool hold, CliOutput& out)
{
    const QString key = CameraProfileStore::keyOf(camera.camera);
    if (hold && CameraProfileStore::values(key).isEmpty()) {
        out.error(ExitRefused, QStringLiteral("camera %1 has no profile to hold; save one first: "
                                              "lumora-ctl profile save %1")
                                   .arg(camera.index));
        return profileObject(camera);
    }
    CameraProfileStore::setHeld(key, hold);
    out.line(hold ? QStringLiteral("camera %1: profile held; lumora-ctl agent sets back what "
                                   "another program changes")
                        .arg(camera.index)
                  : QStringLiteral("camera %1: profile released").arg(camera.index));
    return profileObject(camera);
}

} // namespace

namespace CliCommands {

int profile(const QStringList& args, CliOutput& out)
{
    const QString action = args.value(0);
    if (args.size() != 2 ||
        !QStringList({"show", "save", "apply", "hold", "release", "clear"}).contains(action)) {
        return out.error(ExitUsage,
                         QStringLiteral("usage: lumora-ctl profile show|save|apply|hold|release|"
                                        "clear CAMERA; see \"lumora-ctl profile --help\""));
    }
    QString problem;
    const QList<CliCamera> cameras = selectCameras(args.at(1), true, &problem);
    if (cameras.isEmpty()) {
        return out.error(ExitRefused, problem);
    }
    QJsonArray results;
    for (const CliCamera& camera : cameras) {
        const QString key = CameraProfileStore::keyOf(camera.camera);
        if (action == QLatin1String("show")) {
            results.append(showProfile(camera, out));
        } else if (action == QLatin1String("clear")) {
            results.append(clearProfile(camera, out));
        } else if (action == QLatin1String("hold") || action == QLatin1String("release")) {
            results.append(holdProfile(camera, action == QLatin1String("hold"), out));
        } else {
            CameraControlSession session(camera.camera);
            if (openSession(session, camera, out)) {
                results.append(action == QLatin1String("save")
                                   ? saveProfile(session, camera, out)
                                   : applyProfile(session, camera, out));
            }
        }
    }
    out.document.insert(QStringLiteral("cameras"), results);
    return out.status();
}

int preset(const QStringList& args, CliOutput& out)
{
    const QString action = args.value(0);
    const bool list = action == QLatin1String("list");
    const int number = presetNumber(args);
    if (!(list ? args.size() == 2
               : args.size() == 3 &&
                     (action == QLatin1String("save") || action == QLatin1String("recall")))) {
        return out.error(ExitUsage, QStringLiteral("usage: lumora-ctl preset save|recall|list "
                                                   "CAMERA [N]; see \"lumora-ctl preset --help\""));
    }
    if (!list && number == 0) {
        return out.error(ExitRefused, QStringLiteral("a preset is numbered 1 to %1, not \"%2\"")
                                          .arg(CameraProfileStore::kPresets)
                                          .arg(args.at(2)));
    }
    QString problem;
    const QList<CliCamera> cameras = selectCameras(args.at(1), true, &problem);
    if (cameras.isEmpty()) {
        return out.error(ExitRefused, problem);
    }
    QJsonArray results;
    for (const CliCamera& camera : cameras) {
        if (list) {
            results.append(presetList(camera, out));
            continue;
        }
        const QString key = CameraProfileStore::keyOf(camera.camera);
        CameraControlSession session(camera.camera);
        if (!openSession(session, camera, out)) {
            continue;
        }
        CameraMover& mover = session.controls().mover();
        PtzPosition position;
        if (!mover.hasPositions()) {
            out.error(ExitRefused, QStringLiteral("camera %1 has no absolute pan, tilt and zoom, "
                                                  "so it has no presets")
                                       .arg(camera.index));
            continue;
        }
        if (action == QLatin1String("save")) {
            if (!mover.position(&position)) {
                out.error(ExitFailure, QStringLiteral("camera %1 did not tell its position; check "
                                                      "the camera and retry")
                                           .arg(camera.index));
                continue;
            }
            CameraProfileStore::setPreset(key, number, position);
            out.line(QStringLiteral("camera %1: preset %2 saved at %3")
                         .arg(camera.index)
                         .arg(number)
                         .arg(positionText(position)));
        } else if (!CameraProfileStore::preset(key, number, &position)) {
            out.error(ExitRefused, QStringLiteral("camera %1 has no preset %2; save it first")
                                       .arg(camera.index)
                                       .arg(number));
            continue;
        } else if (!session.moveTo(position) || !mover.position(&position)) {
            out.error(ExitFailure, QStringLiteral("camera %1 did not reach preset %2; check the "
                                                  "camera and retry")
                                       .arg(camera.index)
                                       .arg(number));
            continue;
        } else {
            out.line(QStringLiteral("camera %1: at preset %2, %3")
                         .arg(camera.index)
                         .arg(number)
                         .arg(positionText(position)));
        }
        QJsonObject object = cameraObject(camera);
        object.insert(QStringLiteral("preset"), number);
        object.insert(QStringLiteral("position"), positionObject(position));
        results.append(object);
    }
    out.document.insert(QStringLiteral("cameras"), results);
    return out.status();
}

} // namespace CliCommands
