#include "simulatedstatefolder.h"

#include "simulatedhub.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

#include <chrono>

namespace {

// Well within the second in which a running process sees a change.
constexpr std::chrono::milliseconds kWatchInterval(200);

const QString kPlugged = QStringLiteral("plugged");

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

SimulatedStateFolder::SimulatedStateFolder(const QString& folder) : m_folder(folder) {}

void SimulatedStateFolder::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_watcher.joinable()) {
        m_watcher.join();
    }
    for (Camera& camera : m_cameras) {
        syncToFile(camera);
    }
}

QJsonObject SimulatedStateFolder::valuesOf(const SimulatedCameraState& state)
{
    QJsonObject json;
    json.insert(QStringLiteral("horizontalFlip"), state.horizontalFlip);
    json.insert(QStringLiteral("verticalFlip"), state.verticalFlip);
    json.insert(QStringLiteral("autoExposure"), state.autoExposure);
    json.insert(QStringLiteral("exposure"), state.exposure);
    json.insert(QStringLiteral("contrast"), state.contrast);
    json.insert(QStringLiteral("redShift"), state.redShift);
    json.insert(QStringLiteral("blueShift"), state.blueShift);
    json.insert(QStringLiteral("imageStyle"), state.imageStyle);
    json.insert(QStringLiteral("autoWhiteBalance"), state.autoWhiteBalance);
    json.insert(QStringLiteral("audioFunction"), state.audioFunction);
    json.insert(QStringLiteral("audioProcessing"), state.audioProcessing);
    // A camera keeps its position, and keeps moving until it is told to stop.
    json.insert(QStringLiteral("pan"), state.pan);
    json.insert(QStringLiteral("panSpeed"), state.panSpeed);
    json.insert(QStringLiteral("tilt"), state.tilt);
    json.insert(QStringLiteral("tiltSpeed"), state.tiltSpeed);
    json.insert(QStringLiteral("zoom"), state.zoom);
    return json;
}

void SimulatedStateFolder::applyValues(const QJsonObject& json, SimulatedCameraState* state)
{
    const auto flag = [&json](const char* name, bool& value) {
        value = json.value(QLatin1String(name)).toBool(value);
    };
    const auto number = [&json](const char* name, int& value) {
        value = json.value(QLatin1String(name)).toInt(value);
    };
    flag("horizontalFlip", state->horizontalFlip);
    flag("verticalFlip", state->verticalFlip);
    flag("autoExposure", state->autoExposure);
    number("exposure", state->exposure);
    number("contrast", state->contrast);
    number("redShift", state->redShift);
    number("blueShift", state->blueShift);
    number("imageStyle", state->imageStyle);
    flag("autoWhiteBalance", state->autoWhiteBalance);
    flag("audioFunction", state->audioFunction);
    flag("audioProcessing", state->audioProcessing);
    number("pan", state->pan);
    number("panSpeed", state->panSpeed);
    number("tilt", state->tilt);
    number("tiltSpeed", state->tiltSpeed);
    number("zoom", state->zoom);
}

QString SimulatedStateFolder::pathOf(const Camera& camera) const
{
    return QDir(m_folder).filePath(camera.serial + QStringLiteral(".json"));
}

void SimulatedStateFolder::adopt(const QList<std::shared_ptr<SimulatedCamera>>& cameras)
{
    QDir().mkpath(m_folder);
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& plugged : cameras) {
        if (plugged->config().serial.isEmpty()) {
            continue; // nothing to name its memory by
        }
        Camera camera{plugged->config().serial, plugged, valuesOf(plugged->state()), {}, true};
        syncFromFile(camera);
        syncToFile(camera);
        m_cameras.append(camera);
    }
    if (!m_watcher.joinable()) {
        m_watcher = std::thread([this] { watch(); });
    }
}

void SimulatedStateFolder::watch()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_wake.wait_for(lock, kWatchInterval, [this] { return m_stopping; })) {
        for (Camera& camera : m_cameras) {
            syncFromFile(camera);
            syncToFile(camera);
        }
    }
}

// What changed outside: the camera left or came back, or another process
// wrote its values.
void SimulatedStateFolder::syncFromFile(Camera& camera)
{
    const QByteArray bytes = readAll(pathOf(camera));
    if (bytes.isEmpty() || bytes == camera.file) {
        return;
    }
    QJsonParseError error{};
    QJsonObject json = QJsonDocument::fromJson(bytes, &error).object();
    if (error.error != QJsonParseError::NoError) {
        return; // half written by a writer that does not replace it whole; next round
    }
    camera.file = bytes;
    const bool plugged = json.take(kPlugged).toBool(true);
    SimulatedHub& hub = SimulatedHub::instance();
    if (json != camera.values) {
        camera.values = json;
        SimulatedCameraState state = camera.camera->state();
        applyValues(json, &state);
        camera.camera->setState(state);
    }
    if (plugged == camera.plugged) {
        return;
    }
    camera.plugged = plugged;
    if (!plugged) {
        hub.unplug(camera.camera->deviceName());
        return;
    }
    // Back as a new device, holding what its memory holds.
    const SimulatedCameraState state = camera.camera->state();
    camera.camera = hub.plugCamera(camera.camera->config());
    camera.camera->setState(state);
}

// What changed in this process: the camera's values go to its memory.
void SimulatedStateFolder::syncToFile(Camera& camera)
{
    const QJsonObject values = valuesOf(camera.camera->state());
    if (values != camera.values || !QFile::exists(pathOf(camera))) {
        camera.values = values;
        write(camera);
    }
}

void SimulatedStateFolder::write(Camera& camera)
{
    // Keeps what only the outside says: whether the camera is plugged in.
    QJsonObject json = camera.values;
    const QJsonObject onDisk = QJsonDocument::fromJson(readAll(pathOf(camera))).object();
    if (onDisk.contains(kPlugged)) {
        json.insert(kPlugged, onDisk.value(kPlugged));
    }
    const QByteArray bytes = QJsonDocument(json).toJson();
    QSaveFile file(pathOf(camera));
    // A plug or unplug the outside wrote since the last look is still to be
    // acted on in the next round, so the bytes are remembered only without one.
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit() &&
        onDisk.value(kPlugged).toBool(true) == camera.plugged) {
        camera.file = bytes;
    }
}
