#include "simulatedcamera.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

// Speeds are in control units per second, as a real PTZ head moves a few
// degrees a second at the default relative speed.
constexpr double kPanUnitsPerSpeedSecond = 12.0;
constexpr double kTiltUnitsPerSpeedSecond = 12.0;
constexpr double kZoomUnitsPerSpeedSecond = 5.0;

int takeWhole(double& accumulator)
{
    const double whole = std::trunc(accumulator);
    accumulator -= whole;
    return static_cast<int>(whole);
}

} // namespace

SimulatedCamera::SimulatedCamera(const QString& deviceName, const SimulatedCameraConfig& config)
    : m_deviceName(deviceName), m_config(config)
{
}

QList<CaptureMode> SimulatedCamera::modes() const
{
    const CaptureMode own(m_config.width, m_config.height, m_config.fps,
                          CaptureMode::Format::Mjpeg);
    return m_config.modes.contains(own) ? m_config.modes : QList<CaptureMode>{own};
}

QList<CaptureMode> SimulatedCamera::listModes()
{
    {
        std::unique_lock<std::mutex> lock(m_openMutex);
        ++m_stuckListings;
        m_openReleased.wait_for(lock, std::chrono::seconds(20), [this] { return !m_listingHangs; });
        --m_stuckListings;
    }
    return modes();
}

void SimulatedCamera::setListingHangs(bool hangs)
{
    {
        std::lock_guard<std::mutex> lock(m_openMutex);
        m_listingHangs = hangs;
    }
    m_openReleased.notify_all();
}

int SimulatedCamera::stuckListings() const
{
    std::lock_guard<std::mutex> lock(m_openMutex);
    return m_stuckListings;
}

void SimulatedCamera::setOpenHangs(bool hangs)
{
    {
        std::lock_guard<std::mutex> lock(m_openMutex);
        m_openHangs = hangs;
    }
    m_openReleased.notify_all();
}

int SimulatedCamera::stuckOpens() const
{
    std::lock_guard<std::mutex> lock(m_openMutex);
    return m_stuckOpens;
}

bool SimulatedCamera::acquireStream()
{
    {
        std::unique_lock<std::mutex> lock(m_openMutex);
        ++m_stuckOpens;
        // Bounded, so that a test that never releases it still ends.
        m_openReleased.wait_for(lock, std::chrono::seconds(20), [this] { return !m_openHangs; });
        --m_stuckOpens;
    }
    if (!isPlugged() || inUseByOtherProgram()) {
        return false;
    }
    bool expected = false;
    return m_streaming.compare_exchange_strong(expected, true);
}

void SimulatedCamera::releaseStream()
{
    m_streaming.store(false);
}

SimulatedCameraState SimulatedCamera::state() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state;
}

void SimulatedCamera::setState(const SimulatedCameraState& state)
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_state = state;
}

void SimulatedCamera::modifyState(const std::function<void(SimulatedCameraState&)>& change)
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    change(m_state);
}

void SimulatedCamera::advanceMotion(double seconds)
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    SimulatedCameraState& s = m_state;
    m_panAccumulator += s.panSpeed * kPanUnitsPerSpeedSecond * seconds;
    m_tiltAccumulator += s.tiltSpeed * kTiltUnitsPerSpeedSecond * seconds;
    m_zoomAccumulator += s.zoomDirection * s.zoomSpeed * kZoomUnitsPerSpeedSecond * seconds;
    s.pan = std::clamp(s.pan + takeWhole(m_panAccumulator), -180, 180);
    s.tilt = std::clamp(s.tilt + takeWhole(m_tiltAccumulator), -90, 90);
    s.zoom = std::clamp(s.zoom + takeWhole(m_zoomAccumulator), 0, 100);
}

SimulatedControlConfig SimulatedCamera::controlConfig() const
{
    std::lock_guard<std::mutex> lock(m_controlMutex);
    return m_controlConfig;
}

void SimulatedCamera::modifyControlConfig(
    const std::function<void(SimulatedControlConfig&)>& change)
{
    std::lock_guard<std::mutex> lock(m_controlMutex);
    change(m_controlConfig);
}

QList<SimulatedControlRequest> SimulatedCamera::requests() const
{
    std::lock_guard<std::mutex> lock(m_controlMutex);
    return m_requests;
}

void SimulatedCamera::clearRequests()
{
    std::lock_guard<std::mutex> lock(m_controlMutex);
    m_requests.clear();
}

void SimulatedCamera::logRequest(const SimulatedControlRequest& request)
{
    // A demo left running for hours must not grow without end; tests read
    // far fewer requests than this.
    constexpr int kMaxLogged = 100000;
    std::lock_guard<std::mutex> lock(m_controlMutex);
    if (m_requests.size() >= kMaxLogged) {
        m_requests.erase(m_requests.begin(), m_requests.begin() + kMaxLogged / 2);
    }
    m_requests.append(request);
}
