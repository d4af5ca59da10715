// list, controls, get and set.

#include "clicapture.h"
#include "clicommands.h"
#include "clicontrols.h"
#include "clioutput.h"
#include "cliselection.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>

#include <cstdio>

namespace {

QString usage(const char* synopsis)
{
    return QStringLiteral("usage: lumora-ctl %1; see \"lumora-ctl %2 --help\"")
        .arg(QString::fromLatin1(synopsis), QString::fromLatin1(synopsis).section(' ', 0, 0));
}

QString valueText(const QJsonValue& value)
{
    if (value.isBool()) {
        return value.toBool() ? QStringLiteral("on") : QStringLiteral("off");
    }
    if (value.isUndefined() || value.isNull()) {
        return QStringLiteral("(no answer)");
    }
    return value.toVariant().toString();
}

// Reads the named controls (all readable ones when none are named).
QJsonObject readControls(CameraControlSession& session, const QList<const ControlInfo*>& wanted)
{
    QJsonObject values;
    for (const ControlInfo* control : wanted) {
        const QJsonValue value = session.read(*control);
        values.insert(control->name, value.isUndefined() ? QJsonValue() : value);
    }
    return values;
}

QList<const ControlInfo*> readableControls()
{
    QList<const ControlInfo*> result;
    for (const ControlInfo& control : controlTable()) {
        if (control.readable) {
            result << findControl(control.name);
        }
    }
    return result;
}

void printControls(CliOutput& out, const CliCamera& camera, const QJsonObject& values,
                   const QList<const ControlInfo*>& order)
{
    out.line(QStringLiteral("camera %1: %2 (%3)")
                 .arg(camera.index)
                 .arg(camera.camera.description(), camera.camera.deviceName()));
    for (const ControlInfo* control : order) {
        out.line(QStringLiteral("  %1 %2")
                     .arg(control->name, -16)
                     .arg(valueText(values.value(control->name))));
    }
}

// Reads the controls back and shows them: the result of get and set.
QJsonObject reportControls(CameraControlSession& session, const CliCamera& camera,
                           const QList<const ControlInfo*>& order, CliOutput& out)
{
    const QJsonObject values = readControls(session, order);
    QJsonObject object = cameraObject(camera);
    object.insert(QStringLiteral("controls"), values);
    printControls(out, camera, values, order);
    return object;
}

// Opens the camera's controls; tells the user when it cannot.
bool openSession(CameraControlSession& session, const CliCamera& camera, CliOutput& out)
{
    if (session.isOpen()) {
        return true;
    }
    out.error(ExitFailure, QStringLiteral("camera %1 (%2) does not answer control requests; "
                                          "check that it is still connected and retry")
                               .arg(camera.index)
                               .arg(camera.camera.deviceName()));
    return false;
}

// The assignments of a set command: control and value, in the order given.
struct Assignment
{
    const ControlInfo* control;
    QJsonValue value;
};

bool assignmentsFromArguments(const QStringList& args, QList<Assignment>* result, CliOutput& out)
{
    for (const QString& arg : args) {
        const QString name = arg.section(QLatin1Char('='), 0, 0);
        const ControlInfo* control = findControl(name);
        if (!control) {
            out.error(ExitRefused, QStringLiteral("there is no control \"%1\"; run \"lumora-ctl "
                                                  "controls\" to see the names")
                                       .arg(name));
            return false;
        }
        const bool hasValue = arg.contains(QLatin1Char('='));
        if (!hasValue && control->kind != ControlInfo::Kind::Action) {
            out.error(ExitUsage, QStringLiteral("%1 needs a value, as in %1=%2")
                                     .arg(name, control->rangeText().section('|', 0, 0)));
            return false;
        }
        result->append(
            {control, hasValue ? QJsonValue(arg.section(QLatin1Char('='), 1)) : QJsonValue()});
    }
    return true;
}

bool assignmentsFromFile(const QString& file, QList<Assignment>* result, CliOutput& out)
{
    QFile input;
    const bool opened = file == QLatin1String("-")
                            ? input.open(stdin, QIODevice::ReadOnly)
                            : (input.setFileName(file), input.open(QIODevice::ReadOnly));
    if (!opened) {
        out.error(ExitUsage, QStringLiteral("cannot read %1; give a file printed by \"lumora-ctl "
                                            "get CAMERA --json\"")
                                 .arg(file));
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(input.readAll(), &parseError);
    // get --json prints {"cameras": [{"controls": {...}}]}; the controls of
    // the first camera are taken.
    QJsonObject controls = document.object()
                               .value(QStringLiteral("cameras"))
                               .toArray()
                               .first()
                               .toObject()
                               .value(QStringLiteral("controls"))
                               .toObject();
    if (controls.isEmpty()) {
        controls = document.object().value(QStringLiteral("controls")).toObject();
    }
    if (parseError.error != QJsonParseError::NoError || controls.isEmpty()) {
        out.error(ExitUsage, QStringLiteral("%1 holds no camera controls; give a file printed by "
                                            "\"lumora-ctl get CAMERA --json\"")
                                 .arg(file));
        return false;
    }
    for (const ControlInfo& known : controlTable()) {
        if (known.writable && known.readable && controls.contains(known.name) &&
            !controls.value(known.name).isNull()) {
            result->append({findControl(known.name), controls.value(known.name)});
        }
    }
    return true;
}

} // namespace

namespace CliCommands {

int list(const QStringList& args, CliOutput& out)
{
    if (!args.isEmpty()) {
        return out.error(ExitUsage, usage("list"));
    }
    QJsonArray cameras;
    const QList<CliCamera> found = discoverCameras();
    for (const CliCamera& camera : found) {
        QString firmware;
        {
            CameraControlSession session(camera.camera);
            firmware = session.read(*findControl(QStringLiteral("firmware"))).toString();
        }
        bool held = false;
        {
            CliCapture capture(camera);
            held = !capture.start();
        }
        QJsonObject object = cameraObject(camera);
        object.insert(QStringLiteral("microphone"),
                      camera.microphone.isNull() ? QJsonValue()
                                                 : QJsonValue(camera.microphone.deviceName()));
        object.insert(QStringLiteral("firmware"), firmware);
        object.insert(QStringLiteral("held"), held);
        cameras.append(object);
        out.line(
            QStringLiteral("%1  %2  %3  mic: %4  FW: %5  %6")
                .arg(camera.index)
                .arg(camera.camera.description(), camera.camera.deviceName(),
                     camera.microphone.isNull() ? QStringLiteral("(none)")
                                                : camera.microphone.deviceName(),
                     firmware.startsWith(QLatin1String("FW: ")) ? firmware.mid(4) : firmware,
                     held ? QStringLiteral("held by another program") : QStringLiteral("free")));
    }
    if (found.isEmpty()) {
        out.line(QStringLiteral("no camera is connected"));
    }
    out.document.insert(QStringLiteral("cameras"), cameras);
    return ExitSuccess;
}

int controls(const QStringList& args, CliOutput& out)
{
    if (!args.isEmpty()) {
        return out.error(ExitUsage, usage("controls"));
    }
    QJsonArray list;
    for (const ControlInfo& control : controlTable()) {
        QJsonObject object;
        object.insert(QStringLiteral("name"), control.name);
        static const char* const kinds[] = {"number", "switch", "choice",
                                            "motion", "action", "text"};
        object.insert(QStringLiteral("kind"), QString::fromLatin1(kinds[int(control.kind)]));
        if (control.kind == ControlInfo::Kind::Number ||
            control.kind == ControlInfo::Kind::Motion) {
            if (control.name != QLatin1String("contrast")) {
                object.insert(QStringLiteral("minimum"), control.minimum);
                object.insert(QStringLiteral("maximum"), control.maximum);
            }
        }
        if (!control.choices.isEmpty()) {
            object.insert(QStringLiteral("choices"), QJsonArray::fromStringList(control.choices));
        }
        object.insert(QStringLiteral("readable"), control.readable);
        object.insert(QStringLiteral("writable"), control.writable);
        object.insert(QStringLiteral("help"), control.help);
        list.append(object);
        const QString range = control.name == QLatin1String("contrast")
                                  ? QStringLiteral("the camera's range")
                                  : control.rangeText();
        out.line(
            QStringLiteral("%1 %2 %3").arg(control.name, -16).arg(range, -19).arg(control.help));
    }
    out.document.insert(QStringLiteral("controls"), list);
    return ExitSuccess;
}

int get(const QStringList& args, CliOutput& out)
{
    if (args.isEmpty()) {
        return out.error(ExitUsage, usage("get CAMERA [CONTROL...]"));
    }
    QList<const ControlInfo*> wanted;
    for (const QString& name : args.mid(1)) {
        const ControlInfo* control = findControl(name);
        if (!control || !control->readable) {
            return out.error(ExitRefused, QStringLiteral("there is no readable control \"%1\"; run "
                                                         "\"lumora-ctl controls\" to see the names")
                                              .arg(name));
        }
        wanted << control;
    }
    if (wanted.isEmpty()) {
        wanted = readableControls();
    }
    QString problem;
    const QList<CliCamera> cameras = selectCameras(args.first(), true, &problem);
    if (cameras.isEmpty()) {
        return out.error(ExitRefused, problem);
    }
    QJsonArray results;
    for (const CliCamera& camera : cameras) {
        CameraControlSession session(camera.camera);
        if (!openSession(session, camera, out)) {
            continue;
        }
        results.append(reportControls(session, camera, wanted, out));
    }
    out.document.insert(QStringLiteral("cameras"), results);
    return ExitSuccess;
}

int set(const QStringList& args, CliOutput& out)
{
    const char* synopsis = "set CAMERA CONTROL=VALUE... | set CAMERA --from FILE";
    if (args.size() < 2) {
        return out.error(ExitUsage, usage(synopsis));
    }
    QList<Assignment> assignments;
    const int from = args.indexOf(QStringLiteral("--from"));
    if (from >= 0) {
        if (from != 1 || args.size() != 3) {
            return out.error(ExitUsage, usage(synopsis));
        }
        if (!assignmentsFromFile(args.at(2), &assignments, out)) {
            return ExitUsage;
        }
    } else if (!assignmentsFromArguments(args.mid(1), &assignments, out)) {
        return ExitRefused;
    }
    for (const Assignment& assignment : assignments) {
        if (!assignment.control->writable) {
            return out.error(ExitRefused,
                             QStringLiteral("%1 is read-only; run \"lumora-ctl controls\" to see "
                                            "what can be set")
                                 .arg(assignment.control->name));
        }
    }
    QString problem;
    const QList<CliCamera> cameras = selectCameras(args.first(), true, &problem);
    if (cameras.isEmpty()) {
        return out.error(ExitRefused, problem);
    }

    // Every value is checked on every camera before anything is written.
    QList<QList<QJsonValue>> parsed;
    for (const CliCamera& camera : cameras) {
        CameraControlSession session(camera.camera);
        if (!openSession(session, camera, out)) {
            return ExitFailure;
        }
        QList<QJsonValue> values;
        for (const Assignment& assignment : assignments) {
            values << session.parse(*assignment.control, assignment.value, &problem);
            if (!problem.isEmpty()) {
                return out.error(ExitRefused, QStringLiteral("camera %1: %2; nothing was changed")
                                                  .arg(camera.index)
                                                  .arg(problem));
            }
        }
        parsed << values;
    }

    QJsonArray results;
    QList<const ControlInfo*> shown;
    for (const Assignment& assignment : assignments) {
        if (assignment.control->readable && !shown.contains(assignment.control)) {
            shown << assignment.control;
        }
    }
    for (int i = 0; i < cameras.size(); ++i) {
        const CliCamera& camera = cameras.at(i);
        CameraControlSession session(camera.camera);
        if (!openSession(session, camera, out)) {
            continue;
        }
        for (int j = 0; j < assignments.size(); ++j) {
            if (!session.write(*assignments.at(j).control, parsed.at(i).at(j), &problem)) {
                out.error(ExitFailure, QStringLiteral("camera %1: %2; check the camera and retry")
                                           .arg(camera.index)
                                           .arg(problem));
            }
        }
        results.append(reportControls(session, camera, shown, out));
    }
    out.document.insert(QStringLiteral("cameras"), results);
    return ExitSuccess;
}

} // namespace CliCommands
