// list, controls, get and set.

#include "clicommands.h"
#include "clicontrols.h"
#include "clidocument.h"
#include "clioutput.h"
#include "cliselection.h"
#include "devicecatalog.h"
#include "interruptwatcher.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>

#include <cstdio>
#include <memory>

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
QJsonObject readControls(CameraControlSession& session,
                         const QList<const ControlDescriptor*>& wanted)
{
    QJsonObject values;
    for (const ControlDescriptor* control : wanted) {
        const QJsonValue value = session.read(*control);
        values.insert(control->name, value.isUndefined() ? QJsonValue() : value);
    }
    return values;
}

QList<const ControlDescriptor*> readableControls()
{
    QList<const ControlDescriptor*> result;
    for (const ControlDescriptor& control : ControlCatalogue::controls()) {
        if (control.readable) {
            result << ControlCatalogue::find(control.name);
        }
    }
    return result;
}

bool assignmentsFromArguments(const QStringList& args, QList<Assignment>* result, CliOutput& out)
{
    for (const QString& arg : args) {
        const QString name = arg.section(QLatin1Char('='), 0, 0);
        const ControlDescriptor* control = ControlCatalogue::find(name);
        if (!control) {
            out.error(ExitRefused, QStringLiteral("there is no control \"%1\"; run \"lumora-ctl "
                                                  "controls\" to see the names")
                                       .arg(name));
            return false;
        }
        const bool hasValue = arg.contains(QLatin1Char('='));
        if (!hasValue && control->kind != ControlDescriptor::Kind::Action) {
            out.error(ExitUsage, QStringLiteral("%1 needs a value, as in %1=%2")
                                     .arg(name, control->rangeText().section('|', 0, 0)));
            return false;
        }
        result->append(
            {control, hasValue ? QJsonValue(arg.section(QLatin1Char('='), 1)) : QJsonValue()});
    }
    return true;
}

// Reads a --from document (see readControlsDocument), or takes `given`
// for it; refuses one that names a control lumora-ctl does not know.
bool readDocument(const QString& file, const QByteArray* given, QList<SourceCamera>* sources,
                  CliOutput& out)
{
    QFile input;
    const bool opened = given || (file == QLatin1String("-")
                                      ? input.open(stdin, QIODevice::ReadOnly)
                                      : (input.setFileName(file), input.open(QIODevice::ReadOnly)));
    if (!opened) {
        out.error(ExitUsage, QStringLiteral("cannot read %1; give a file printed by \"lumora-ctl "
                                            "get CAMERA --json\"")
                                 .arg(file));
        return false;
    }
    QStringList unknown;
    const bool parsed = readControlsDocument(given ? *given : input.readAll(), sources, &unknown);
    if (!unknown.isEmpty()) {
        out.error(ExitRefused, QStringLiteral("%1 names controls that do not exist: %2; nothing "
                                              "was changed (run \"lumora-ctl controls\")")
                                   .arg(file, unknown.join(QStringLiteral(", "))));
        return false;
    }
    if (!parsed || sources->isEmpty()) {
        out.error(ExitUsage, QStringLiteral("%1 holds no camera controls; give a file printed by "
                                            "\"lumora-ctl get CAMERA --json\"")
                                 .arg(file));
        return false;
    }
    return true;
}

// The values of a document for one camera: a document of one camera is
// for every camera; of several, each camera takes those of the same
// device and description, else those of its index. -1 when none fits.
int matchSource(const QList<SourceCamera>& sources, const CliCamera& camera, QString* how)
{
    if (sources.size() == 1) {
        *how = QStringLiteral("only");
        return 0;
    }
    for (int i = 0; i < sources.size(); ++i) {
        if (sources.at(i).device == camera.camera.deviceName() &&
            sources.at(i).description == camera.camera.description()) {
            *how = QStringLiteral("device");
            return i;
        }
    }
    for (int i = 0; i < sources.size(); ++i) {
        if (sources.at(i).index == camera.index) {
            *how = QStringLiteral("index");
            return i;
        }
    }
    return -1;
}

} // namespace

void printControls(CliOutput& out, const CliCamera& camera, const QJsonObject& values,
                   const QList<const ControlDescriptor*>& order)
{
    out.line(QStringLiteral("camera %1: %2 (%3)")
                 .arg(camera.index)
                 .arg(camera.camera.description(), camera.camera.deviceName()));
    for (const ControlDescriptor* control : order) {
        out.line(QStringLiteral("  %1 %2")
                     .arg(control->name, -16)
                     .arg(valueText(values.value(control->name))));
    }
}

// Reads the controls back and shows them: the result of get and set.
QJsonObject reportControls(CameraControlSession& session, const CliCamera& camera,
                           const QList<const ControlDescriptor*>& order, CliOutput& out)
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

namespace CliCommands {

int list(const QStringList& args, CliOutput& out)
{
    if (!args.isEmpty()) {
        return out.error(ExitUsage, usage("list"));
    }
    QJsonArray cameras;
    const QList<CliCamera> found = discoverCameras();
    for (const CliCamera& camera : found) {
        // Asked of the system, not by streaming: a stream would light the
        // camera and could take it from a call.
        const CameraAvailability availability =
            DeviceCatalog::instance().availability(camera.camera);
        const bool gone = availability == CameraAvailability::Gone;
        QString firmware;
        if (!gone) {
            CameraControlSession session(camera.camera);
            firmware = session.read(*ControlCatalogue::find(QStringLiteral("firmware"))).toString();
        }
        static const char* const states[] = {"free", "held", "gone", "unknown"};
        static const char* const texts[] = {"free", "held by another program", "gone (unplugged)",
                                            "in use: unknown"};
        QJsonObject object = cameraObject(camera);
        object.insert(QStringLiteral("microphone"),
                      camera.microphone.isNull() ? QJsonValue()
                                                 : QJsonValue(camera.microphone.deviceName()));
        object.insert(QStringLiteral("firmware"), gone ? QJsonValue() : QJsonValue(firmware));
        object.insert(QStringLiteral("held"),
                      availability == CameraAvailability::Unknown
                          ? QJsonValue()
                          : QJsonValue(availability == CameraAvailability::InUse));
        object.insert(QStringLiteral("state"), QString::fromLatin1(states[int(availability)]));
        cameras.append(object);
        out.line(QStringLiteral("%1  %2  %3  mic: %4  FW: %5  %6")
                     .arg(camera.index)
                     .arg(camera.camera.description(), camera.camera.deviceName(),
                          camera.microphone.isNull() ? QStringLiteral("(none)")
                                                     : camera.microphone.deviceName(),
                          firmware.startsWith(QLatin1String("FW: ")) ? firmware.mid(4) : firmware,
                          QString::fromLatin1(texts[int(availability)])));
    }
    if (found.isEmpty()) {
        out.line(QStringLiteral("no camera is connected"));
    }
    // A camera this user may not open is there all the same: say so, and
    // how to get access, rather than leave it out in silence.
    const QStringList denied = DeviceCatalog::instance().inaccessibleVideoInputs();
    if (!denied.isEmpty()) {
        out.progress(inaccessibleCamerasNotice(denied));
        out.document.insert(QStringLiteral("inaccessible"), QJsonArray::fromStringList(denied));
    }
    out.document.insert(QStringLiteral("cameras"), cameras);
    return ExitSuccess;
}

int controls(const QStringList& args, CliOutput& out)
{
    if (args.size() > 1) {
        return out.error(ExitUsage, usage("controls [CAMERA]"));
    }
    // With a camera, the ranges it reports stand in for "the camera's range".
    std::unique_ptr<CameraControlSession> session;
    if (!args.isEmpty()) {
        QString problem;
        const QList<CliCamera> cameras = selectCameras(args.first(), false, &problem);
        if (cameras.isEmpty()) {
            return out.error(ExitRefused, problem);
        }
        session = std::make_unique<CameraControlSession>(cameras.first().camera);
        if (!openSession(*session, cameras.first(), out)) {
            return out.status();
        }
    }
    QJsonArray list;
    for (const ControlDescriptor& known : ControlCatalogue::controls()) {
        const ControlDescriptor control = session ? session->controls().resolved(known) : known;
        const bool unknownRange = control.cameraRange && control.minimum == control.maximum;
        QJsonObject object;
        object.insert(QStringLiteral("name"), control.name);
        static const char* const kinds[] = {"number", "switch", "choice",
                                            "motion", "action", "text"};
        object.insert(QStringLiteral("kind"), QString::fromLatin1(kinds[int(control.kind)]));
        if (control.kind == ControlDescriptor::Kind::Number ||
            control.kind == ControlDescriptor::Kind::Motion) {
            if (!unknownRange) {
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
        const QString range = control.rangeText();
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
    QList<const ControlDescriptor*> wanted;
    for (const QString& name : args.mid(1)) {
        const ControlDescriptor* control = ControlCatalogue::find(name);
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
    return setFrom(args, nullptr, out);
}

int setFromText(const QStringList& args, const QByteArray& document, CliOutput& out)
{
    return setFrom(args, &document, out);
}

int setFrom(const QStringList& args, const QByteArray* document, CliOutput& out)
{
    const char* synopsis = "set CAMERA CONTROL=VALUE... | set CAMERA --from FILE";
    if (args.size() < 2) {
        return out.error(ExitUsage, usage(synopsis));
    }
    QList<Assignment> given;
    QList<SourceCamera> sources;
    const int from = args.indexOf(QStringLiteral("--from"));
    if (from >= 0) {
        if (from != 1 || args.size() != 3) {
            return out.error(ExitUsage, usage(synopsis));
        }
        if (!readDocument(args.at(2), document, &sources, out)) {
            return out.status();
        }
    } else if (!assignmentsFromArguments(args.mid(1), &given, out)) {
        return out.status();
    }
    for (const Assignment& assignment : given) {
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
    QList<QList<Assignment>> assignments;
    QList<QJsonObject> matches;
    for (const CliCamera& camera : cameras) {
        QString how;
        const int source = sources.isEmpty() ? -1 : matchSource(sources, camera, &how);
        if (!sources.isEmpty() && source < 0) {
            return out.error(ExitRefused,
                             QStringLiteral("%1 has no values for camera %2 (%3): none of its "
                                            "cameras has that device or index; nothing was "
                                            "changed")
                                 .arg(args.at(2))
                                 .arg(camera.index)
                                 .arg(camera.camera.deviceName()));
        }
        QList<Assignment> mine = source < 0 ? given : assignmentsOf(sources.at(source).controls);
        CameraControlSession session(camera.camera);
        if (!openSession(session, camera, out)) {
            return ExitFailure;
        }
        for (Assignment& assignment : mine) {
            assignment.value = session.parse(*assignment.control, assignment.value, &problem);
            if (!problem.isEmpty()) {
                return out.error(ExitRefused, QStringLiteral("camera %1: %2; nothing was changed")
                                                  .arg(camera.index)
                                                  .arg(problem));
            }
        }
        assignments << mine;
        QJsonObject match;
        if (source >= 0) {
            match.insert(QStringLiteral("index"), sources.at(source).index);
            match.insert(QStringLiteral("device"), sources.at(source).device);
            match.insert(QStringLiteral("matchedBy"), how);
            const QString reason = how == QLatin1String("only") ? QStringLiteral("its only camera")
                                   : how == QLatin1String("device") ? QStringLiteral("same device")
                                                                    : QStringLiteral("same index");
            out.line(QStringLiteral("camera %1 (%2) takes the values of camera %3 (%4) in %5: %6")
                         .arg(camera.index)
                         .arg(camera.camera.deviceName())
                         .arg(sources.at(source).index)
                         .arg(sources.at(source).device, args.at(2), reason));
        }
        matches << match;
    }

    InterruptWatcher interrupts;
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &interrupts,
                     [&out] { out.afterInterruptEcho(); });
    QJsonArray results;
    for (int i = 0; i < cameras.size() && interrupts.count() == 0; ++i) {
        const CliCamera& camera = cameras.at(i);
        CameraControlSession session(camera.camera, &interrupts);
        if (!openSession(session, camera, out)) {
            continue;
        }
        QList<const ControlDescriptor*> shown;
        for (const Assignment& assignment : assignments.at(i)) {
            if (interrupts.count() > 0) {
                break;
            }
            if (assignment.control->kind == ControlDescriptor::Kind::Motion) {
                out.progress(QStringLiteral("camera %1: %2 for %3 ms (Ctrl-C stops it)...")
                                 .arg(camera.index)
                                 .arg(assignment.control->name)
                                 .arg(assignment.value.toInt()));
            }
            if (!session.write(*assignment.control, assignment.value, &problem)) {
                out.error(interrupts.count() > 0 ? ExitInterrupted : ExitFailure,
                          QStringLiteral("camera %1: %2%3")
                              .arg(camera.index)
                              .arg(problem, interrupts.count() > 0
                                                ? QString()
                                                : QStringLiteral("; check the camera and retry")));
            }
            if (assignment.control->readable && !shown.contains(assignment.control)) {
                shown << assignment.control;
            }
        }
        QJsonObject result = reportControls(session, camera, shown, out);
        if (!matches.at(i).isEmpty()) {
            result.insert(QStringLiteral("from"), matches.at(i));
        }
        results.append(result);
    }
    if (interrupts.count() > 0 && out.status() != ExitInterrupted) {
        out.error(ExitInterrupted, QStringLiteral("interrupted; the settings not yet written "
                                                  "were left as they were"));
    }
    out.document.insert(QStringLiteral("cameras"), results);
    return ExitSuccess;
}

} // namespace CliCommands
