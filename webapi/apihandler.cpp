#include "apihandler.h"

#include "cameraprofilestore.h"
#include "clicommands.h"
#include "clicontrols.h"
#include "clioutput.h"
#include "cliselection.h"
#include "devicecatalog.h"
#include "metricstext.h"
#include "profileagent.h"
#include "propertytransport.h"
#include "requestcounter.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

QByteArray jsonText(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

ApiReply errorReply(int status, const QString& sentence)
{
    return {status, "application/json", jsonText({{QStringLiteral("error"), sentence}})};
}

int httpStatus(int exitCode)
{
    switch (exitCode) {
    case ExitSuccess:
        return 200;
    case ExitFailure:
        return 502; // the camera, behind the agent, failed
    default:
        return 400;
    }
}

// The sign of a speed in a move document: 1, -1, or 0 (stop that axis).
int direction(const QJsonValue& speed)
{
    const double value = speed.toDouble();
    return value > 0 ? 1 : value < 0 ? -1 : 0;
}

// The USB serial number within a camera's identity ("vid:pid serial S"
// where the camera has one); empty for a camera without.
QString serialOf(const QString& identity)
{
    const int at = identity.indexOf(QLatin1String(" serial "));
    return at < 0 ? QString() : identity.mid(at + 8);
}

} // namespace

ApiHandler::ApiHandler(ProfileAgent& agent, AgentFraming& framing, const RequestCounter& requests,
                       QObject* parent)
    : QObject(parent), m_agent(agent), m_framing(framing), m_requests(requests)
{
    connect(&agent, &ProfileAgent::cameraPlugged, this, [this](const VideoInputInfo& camera) {
        // Known from now on, so that a camera gone before the first scrape
        // is still reported as down.
        Facts& facts = m_seen[CameraProfileStore::keyOf(camera)];
        facts.model = camera.description();
        facts.device = camera.deviceName();
        plugEvent("plugged", camera);
    });
    connect(&agent, &ProfileAgent::cameraUnplugged, this,
            [this](const VideoInputInfo& camera) { plugEvent("unplugged", camera); });
    connect(&m_framing, &AgentFraming::switched, this, [this](const QString& device, bool on) {
        emit event(jsonText({{QStringLiteral("event"), QStringLiteral("framing")},
                             {QStringLiteral("device"), device},
                             {QStringLiteral("on"), on}}));
    });
    connect(&m_framing, &AgentFraming::acted, this,
            [this](const QString& device, const QString& what) {
                emit event(jsonText({{QStringLiteral("event"), QStringLiteral("framing")},
                                     {QStringLiteral("device"), device},
                                     {QStringLiteral("what"), what}}));
            });
    connect(&agent, &ProfileAgent::controlsWritten, this,
            [this](const VideoInputInfo& camera, const QStringList& names) {
                controlsChanged(camera.deviceName(), QJsonArray::fromStringList(names));
            });
    connect(&agent, &ProfileAgent::controlsChangedElsewhere, this,
            [this](const VideoInputInfo& camera, const QJsonObject& values) {
                emit event(jsonText({{QStringLiteral("event"), QStringLiteral("controls")},
                                     {QStringLiteral("device"), camera.deviceName()},
                                     {QStringLiteral("controls"), values},
                                     {QStringLiteral("by"), QStringLiteral("elsewhere")}}));
            });
    agent.tellChangesElsewhere();
}

ApiReply ApiHandler::handle(const ApiRequest& request)
{
    // A recall waits for the camera in a nested event loop, where the next
    // request could start on the same camera: it is told to come back.
    if (m_busy) {
        return errorReply(503, QStringLiteral("another request is under way; retry"));
    }
    m_busy = true;
    const ApiReply reply = answer(request);
    m_busy = false;
    return reply;
}

ApiReply ApiHandler::answer(const ApiRequest& request)
{
    const ApiRoute& route = request.route;
    CliOutput out(true);
    if (route.kind == ApiRoute::Metrics) {
        return metrics();
    }
    if (route.kind == ApiRoute::Cameras) {
        return cameraList();
    }
    QString problem;
    const QList<CliCamera> cameras = selectCameras(QString::number(route.camera), false, &problem);
    if (cameras.isEmpty()) {
        return errorReply(404, problem);
    }
    const QString index = QString::number(route.camera);
    switch (route.kind) {
    case ApiRoute::GetControls:
        return commandReply(CliCommands::get({index}, out), out);
    case ApiRoute::PutControls: {
        const ApiReply reply =
            commandReply(CliCommands::setFromText(
                             {index, QStringLiteral("--from"), QStringLiteral("the request")},
                             request.body, out),
                         out);
        m_agent.noteOwnWrite(cameras.first().camera);
        const QJsonArray results = out.document.value(QStringLiteral("cameras")).toArray();
        if (reply.status == 200 && !results.isEmpty()) {
            controlsChanged(cameras.first().camera.deviceName(),
                            results.first().toObject().value(QStringLiteral("controls")));
        }
        return reply;
    }
    case ApiRoute::Move:
        return move(cameras.first(), request.body);
    case ApiRoute::Snapshot:
        return snapshot(cameras.first());
    case ApiRoute::Framing:
        return framing(cameras.first(), request.body);
    case ApiRoute::PresetSave:
    case ApiRoute::PresetRecall: {
        const bool save = route.kind == ApiRoute::PresetSave;
        const ApiReply reply = commandReply(
            CliCommands::preset({save ? QStringLiteral("save") : QStringLiteral("recall"), index,
                                 QString::number(route.preset)},
                                out),
            out);
        if (!save && reply.status == 200) {
            controlsChanged(cameras.first().camera.deviceName(),
                            out.document.value(QStringLiteral("cameras"))
                                .toArray()
                                .first()
                                .toObject()
                                .value(QStringLiteral("position")));
        }
        return reply;
    }
    default:
        return errorReply(404, QStringLiteral("no such resource"));
    }
}

ApiReply ApiHandler::cameraList()
{
    CliOutput out(true);
    const int status = CliCommands::list({}, out);
    QJsonArray cameras = out.document.value(QStringLiteral("cameras")).toArray();
    for (QJsonValueRef entry : cameras) {
        QJsonObject camera = entry.toObject();
        camera.insert(QStringLiteral("framing"),
                      m_framing.isOn(camera.value(QStringLiteral("device")).toString()));
        entry = camera;
    }
    out.document.insert(QStringLiteral("cameras"), cameras);
    return commandReply(status, out);
}

ApiReply ApiHandler::commandReply(int status, CliOutput& out) const
{
    const int exitCode = status == ExitSuccess ? out.status() : status;
    QJsonObject document = out.document;
    document.insert(QStringLiteral("exitCode"), exitCode);
    if (!out.firstError().isEmpty()) {
        document.insert(QStringLiteral("error"), out.firstError());
    }
    return {httpStatus(exitCode), "application/json", jsonText(document)};
}

ApiReply ApiHandler::move(const CliCamera& camera, const QByteArray& body)
{
    QJsonParseError parseError;
    const QJsonObject document = QJsonDocument::fromJson(body, &parseError).object();
    if (parseError.error != QJsonParseError::NoError || document.isEmpty()) {
        return errorReply(400, QStringLiteral("give {\"pan\": 1, \"tilt\": -1, \"zoom\": 0} "
                                              "(directions; 0 stops one) or {\"stop\": true}"));
    }
    CameraControlSession session(camera.camera);
    if (!session.isOpen()) {
        return errorReply(
            502, QStringLiteral("camera %1 does not answer control requests").arg(camera.index));
    }
    CameraMover& mover = session.controls().mover();
    const bool stop = document.value(QStringLiteral("stop")).toBool();
    // Directions as the catalogue's motions take them: pan 1 right, tilt 1 up.
    const long axes[] = {ControlCatalogue::get("pan-right").standardId,
                         ControlCatalogue::get("tilt-up").standardId};
    const char* const names[] = {"pan", "tilt"};
    QJsonObject moving;
    for (int i = 0; i < 2; ++i) {
        const QString name = QString::fromLatin1(names[i]);
        if (!stop && !document.contains(name)) {
            continue;
        }
        const int way = stop ? 0 : direction(document.value(name));
        if (way == 0) {
            mover.stopRelative(axes[i]);
        } else if (!mover.startRelative(axes[i], way)) {
            return errorReply(
                400,
                QStringLiteral("camera %1 reports no speed for %2").arg(camera.index).arg(name));
        }
        moving.insert(name, way);
    }
    if (stop || document.contains(QStringLiteral("zoom"))) {
        const int way = stop ? 0 : direction(document.value(QStringLiteral("zoom")));
        way == 0 ? mover.stopZoom() : mover.startZoom(way);
        moving.insert(QStringLiteral("zoom"), way);
    }
    QJsonObject object = cameraObject(camera);
    object.insert(QStringLiteral("moving"), moving);
    return {200, "application/json",
            jsonText({{QStringLiteral("cameras"), QJsonArray{object}},
                      {QStringLiteral("exitCode"), ExitSuccess}})};
}

ApiReply ApiHandler::framing(const CliCamera& camera, const QByteArray& body)
{
    const QJsonValue on = QJsonDocument::fromJson(body).object().value(QStringLiteral("on"));
    if (!on.isBool()) {
        return errorReply(400, QStringLiteral("give {\"on\": true} or {\"on\": false}"));
    }
    QString problem;
    if (!m_framing.set(camera, on.toBool(), &problem)) {
        return errorReply(
            400, QStringLiteral("camera %1 cannot be framed: %2").arg(camera.index).arg(problem));
    }
    QJsonObject object = cameraObject(camera);
    object.insert(QStringLiteral("framing"), on.toBool());
    return {200, "application/json",
            jsonText({{QStringLiteral("cameras"), QJsonArray{object}},
                      {QStringLiteral("exitCode"), ExitSuccess}})};
}

ApiReply ApiHandler::snapshot(const CliCamera& camera)
{
    // While the agent frames the camera, or the window previews it, that
    // one holds its stream: the picture is its newest.
    const QString device = camera.camera.deviceName();
    QImage framed = m_framing.latestFrame(device);
    if (framed.isNull() && m_frames) {
        framed = m_frames(device);
    }
    if (!framed.isNull()) {
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        framed.save(&buffer, "JPEG");
        return {200, "image/jpeg", jpeg};
    }
    // Otherwise it is lumora-ctl snapshot's, taken through a file of our own.
    const QString index = QString::number(camera.index);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("snapshot.jpg"));
    CliOutput out(true);
    const ApiReply failed = commandReply(CliCommands::snapshot({index, file}, out), out);
    QFile picture(file);
    if (failed.status != 200 || !picture.open(QIODevice::ReadOnly)) {
        return failed.status != 200 ? failed : errorReply(502, QStringLiteral("no picture"));
    }
    return {200, "image/jpeg", picture.readAll()};
}

void ApiHandler::controlsChanged(const QString& device, const QJsonValue& controls)
{
    emit event(jsonText({{QStringLiteral("event"), QStringLiteral("controls")},
                         {QStringLiteral("device"), device},
                         {QStringLiteral("controls"), controls}}));
}

void ApiHandler::plugEvent(const char* what, const VideoInputInfo& camera)
{
    emit event(jsonText({{QStringLiteral("event"), QString::fromLatin1(what)},
                         {QStringLiteral("device"), camera.deviceName()},
                         {QStringLiteral("description"), camera.description()}}));
}

ApiReply ApiHandler::metrics()
{
    const QList<VideoInputInfo> present = m_agent.presentCameras();
    QHash<QString, VideoInputInfo> here;
    for (const VideoInputInfo& camera : present) {
        const QString key = CameraProfileStore::keyOf(camera);
        here.insert(key, camera);
        Facts& facts = m_seen[key];
        facts.model = camera.description();
        facts.device = camera.deviceName();
        if (facts.firmware.isEmpty()) {
            // Read once: the firmware does not change while the camera is here.
            CameraControlSession session(camera);
            facts.firmware =
                session.read(*ControlCatalogue::find(QStringLiteral("firmware"))).toString();
            if (facts.firmware.startsWith(QLatin1String("FW: "))) {
                facts.firmware = facts.firmware.mid(4);
            }
        }
    }
    using Labels = MetricsText::Labels;
    MetricsText page;
    page.family(QStringLiteral("lumora_camera_up"), "gauge",
                QStringLiteral("1 while the camera is plugged in, 0 once it has gone"));
    for (auto it = m_seen.cbegin(); it != m_seen.cend(); ++it) {
        page.sample(QStringLiteral("lumora_camera_up"),
                    Labels{{QStringLiteral("camera"), it.key()}}, here.contains(it.key()) ? 1 : 0);
    }
    page.family(QStringLiteral("lumora_camera_in_use"), "gauge",
                QStringLiteral("1 while another program streams from the camera"));
    for (auto it = here.cbegin(); it != here.cend(); ++it) {
        const CameraAvailability availability = DeviceCatalog::instance().availability(it.value());
        if (availability == CameraAvailability::Free || availability == CameraAvailability::InUse) {
            page.sample(QStringLiteral("lumora_camera_in_use"),
                        Labels{{QStringLiteral("camera"), it.key()}},
                        availability == CameraAvailability::InUse ? 1 : 0);
        }
    }
    page.family(QStringLiteral("lumora_camera_info"), "gauge",
                QStringLiteral("The camera's model, identity and firmware, as labels"));
    for (auto it = m_seen.cbegin(); it != m_seen.cend(); ++it) {
        page.sample(QStringLiteral("lumora_camera_info"),
                    Labels{{QStringLiteral("camera"), it.key()},
                           {QStringLiteral("model"), it->model},
                           {QStringLiteral("serial"), serialOf(it.key())},
                           {QStringLiteral("device"), it->device},
                           {QStringLiteral("firmware"), it->firmware}},
                    1);
    }
    page.family(QStringLiteral("lumora_camera_profile_applied"), "gauge",
                QStringLiteral("1 once the agent has applied the camera's profile"));
    for (auto it = here.cbegin(); it != here.cend(); ++it) {
        page.sample(QStringLiteral("lumora_camera_profile_applied"),
                    Labels{{QStringLiteral("camera"), it.key()}},
                    m_agent.profileApplied(it.value()) ? 1 : 0);
    }
    page.family(QStringLiteral("lumora_agent_requests_total"), "counter",
                QStringLiteral("Requests the agent answered, by protocol and result"));
    const auto counts = m_requests.counts();
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        page.sample(QStringLiteral("lumora_agent_requests_total"),
                    Labels{{QStringLiteral("protocol"), it.key().first},
                           {QStringLiteral("result"), it.key().second}},
                    double(it.value()));
    }
    return {200, "text/plain; version=0.0.4; charset=utf-8", page.text()};
}
