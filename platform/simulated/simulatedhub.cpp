#include "simulatedhub.h"

#include <QByteArray>
#include <QTimer>

SimulatedHub& SimulatedHub::instance()
{
    static SimulatedHub hub;
    return hub;
}

int SimulatedHub::requestedCameraCount()
{
    bool ok = false;
    const int count = qEnvironmentVariableIntValue("LUMORA_SIMULATED_CAMERAS", &ok);
    return ok && count > 0 ? qMin(count, 16) : 0;
}

std::shared_ptr<SimulatedCamera> SimulatedHub::plugCamera(const SimulatedCameraConfig& config)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const QString deviceName = QStringLiteral("sim:video%1").arg(m_nextNode++);
    auto camera = std::make_shared<SimulatedCamera>(deviceName, config);
    m_video.append({VideoInputInfo(config.description, deviceName, config.usb), camera});
    if (!config.microphoneName.isEmpty()) {
        m_audio.append(AudioInputInfo(config.microphoneName, deviceName + QStringLiteral(":mic")));
    }
    return camera;
}

void SimulatedHub::unplug(const QString& deviceName)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int i = 0; i < m_video.size(); ++i) {
        if (m_video[i].info.deviceName() == deviceName) {
            if (m_video[i].camera) {
                m_video[i].camera->setPlugged(false);
            }
            m_video.removeAt(i);
            break;
        }
    }
    const QString micId = deviceName + QStringLiteral(":mic");
    for (int i = 0; i < m_audio.size(); ++i) {
        if (m_audio[i].systemId() == micId) {
            m_audio.removeAt(i);
            break;
        }
    }
}

void SimulatedHub::unplugAll()
{
    for (const auto& camera : cameras()) {
        unplug(camera->deviceName());
    }
}

void SimulatedHub::restart(const QString& deviceName)
{
    const std::shared_ptr<SimulatedCamera> old = camera(deviceName);
    if (!old) {
        return;
    }
    int generation = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        generation = m_generation;
    }
    const auto current = [this, generation] {
        std::lock_guard<std::mutex> lock(m_mutex);
        return generation == m_generation;
    };
    QTimer::singleShot(0, [this, deviceName, current] {
        if (current()) {
            unplug(deviceName);
        }
    });
    QTimer::singleShot(old->controlConfig().restartMilliseconds, [this, old, current] {
        if (!current()) {
            return;
        }
        // Settings survive the restart; the head stops and goes home.
        SimulatedCameraState state = old->state();
        const SimulatedCameraState home;
        state.pan = home.pan;
        state.tilt = home.tilt;
        state.zoom = home.zoom;
        state.panSpeed = state.tiltSpeed = state.zoomDirection = state.zoomSpeed = 0;
        const SimulatedControlConfig controls = old->controlConfig();
        const std::shared_ptr<SimulatedCamera> back = plugCamera(old->config());
        back->setState(state);
        back->modifyControlConfig([&controls](SimulatedControlConfig& c) { c = controls; });
    });
}

void SimulatedHub::addForeignVideoInput(const VideoInputInfo& input)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_video.append({input, nullptr});
}

void SimulatedHub::addForeignAudioInput(const AudioInputInfo& input)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_audio.append(input);
}

void SimulatedHub::reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_generation;
    for (const auto& entry : m_video) {
        if (entry.camera) {
            entry.camera->setPlugged(false);
        }
    }
    m_video.clear();
    m_audio.clear();
}

VideoInputList SimulatedHub::videoInputs() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    VideoInputList inputs;
    inputs.reserve(m_video.size());
    for (const auto& entry : m_video) {
        inputs.append(entry.info);
    }
    return inputs;
}

AudioInputList SimulatedHub::audioInputs() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_audio;
}

std::shared_ptr<SimulatedCamera> SimulatedHub::camera(const QString& deviceName) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const auto& entry : m_video) {
        if (entry.camera && entry.info.deviceName() == deviceName) {
            return entry.camera;
        }
    }
    return nullptr;
}

QList<std::shared_ptr<SimulatedCamera>> SimulatedHub::cameras() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QList<std::shared_ptr<SimulatedCamera>> result;
    for (const auto& entry : m_video) {
        if (entry.camera) {
            result.append(entry.camera);
        }
    }
    return result;
}
