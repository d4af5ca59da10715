#include "simulatedhub.h"

#include "simulatedstatefolder.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTimer>

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

QString SimulatedHub::requestedCameraSerial(int position)
{
    return QStringLiteral("SIM%1").arg(position + 1, 4, 10, QLatin1Char('0'));
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
        const bool whenListed = parts.value(1) == QLatin1String("listed");
        const int delayMs = whenListed ? 0 : parts.value(1).toInt(&delayOk);
        if (parts.size() != 2 || !positionOk || !(delayOk || whenListed) || position < 0 ||
            position >= plugged.size() || delayMs < 0) {
            qWarning("LUMORA_SIMULATED_UNPLUG: ignoring \"%s\"", qPrintable(item));
            continue;
        }
        if (whenListed) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_leaveWhenListed << plugged.at(position)->deviceName();
        } else {
            schedule.add(plugged.at(position)->deviceName(), delayMs);
        }
    }
}

void SimulatedHub::keepStatesFromEnvironment()
{
    const QString folder = qEnvironmentVariable("LUMORA_SIMULATED_STATE_DIR");
    if (folder.isEmpty()) {
        return;
    }
    // Built after the hub, so it writes the cameras' values back while the
    // hub still exists.
    static SimulatedStateFolder states(folder);
    // A library's statics are destroyed after the process's other threads
    // have been ended on Windows, where the watcher could then no longer be
    // joined (a lumora-ctl.exe that never exits): it stops with the
    // application, and the statics' end only writes.
    static const bool stopsWithTheApplication = [] {
        qAddPostRoutine([] { states.stop(); });
        return true;
    }();
    Q_UNUSED(stopsWithTheApplication)
    states.adopt(cameras());
}

std::shared_ptr<SimulatedCamera> SimulatedHub::plugCamera(const SimulatedCameraConfig& given)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    SimulatedCameraConfig config = given;
    if (config.usbPort.isEmpty()) {
        config.usbPort = QStringLiteral("1-%1").arg(m_nextNode + 1);
    }
    const QString deviceName = config.deviceName.isEmpty()
                                   ? QStringLiteral("sim:video%1").arg(m_nextNode++)
                                   : config.deviceName;
    auto camera = std::make_shared<SimulatedCamera>(deviceName, config);
    // Camera and microphone are one USB device, as on a real bus.
    const QString usbDevice = config.usb ? deviceName + QStringLiteral(":usb") : QString();
    m_video.append({VideoInputInfo(config.description, deviceName, config.usb, usbDevice), camera});
    if (!config.microphoneName.isEmpty()) {
        m_audio.append(
            AudioInputInfo(config.microphoneName, deviceName + QStringLiteral(":mic"), usbDevice));
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

VideoInputList SimulatedHub::videoInputs()
{
    VideoInputList inputs;
    QStringList leaving;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        inputs.reserve(m_video.size());
        for (const auto& entry : m_video) {
            inputs.append(entry.info);
        }
        leaving.swap(m_leaveWhenListed);
    }
    // Gone from the next listing on: what the caller chose from this one
    // may have left already.
    for (const QString& deviceName : leaving) {
        unplug(deviceName);
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
