#include "simulatedhub.h"

#include <QByteArray>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <thread>
#include <vector>

namespace {

// Runs the scheduled unplugs; gives up waiting when the process ends, so
// no thread outlives the hub.
class UnplugSchedule
{
public:
    ~UnplugSchedule()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }

    void add(const QString& deviceName, int delayMs)
    {
        m_threads.emplace_back([this, deviceName, delayMs] {
            std::unique_lock<std::mutex> lock(m_mutex);
            if (m_wake.wait_for(lock, std::chrono::milliseconds(delayMs),
                                [this] { return m_stopping; })) {
                return;
            }
            lock.unlock();
            SimulatedHub::instance().unplug(deviceName);
        });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace

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

void SimulatedHub::scheduleUnplugsFromEnvironment()
{
    const QString plan = qEnvironmentVariable("LUMORA_SIMULATED_UNPLUG");
    if (plan.isEmpty()) {
        return;
    }
    // Built after the hub, so destroyed (and its threads joined) before it.
    static UnplugSchedule schedule;
    const QList<std::shared_ptr<SimulatedCamera>> plugged = cameras();
    for (const QString& item : plan.split(QLatin1Char(','))) {
        if (item.isEmpty()) {
            continue;
        }
        const QStringList parts = item.split(QLatin1Char('@'));
        bool positionOk = false;
        bool delayOk = false;
        const int position = parts.value(0).toInt(&positionOk);
        const int delayMs = parts.value(1).toInt(&delayOk);
        if (parts.size() != 2 || !positionOk || !delayOk || position < 0 ||
            position >= plugged.size() || delayMs < 0) {
            qWarning("LUMORA_SIMULATED_UNPLUG: ignoring \"%s\"", qPrintable(item));
            continue;
        }
        schedule.add(plugged.at(position)->deviceName(), delayMs);
    }
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
