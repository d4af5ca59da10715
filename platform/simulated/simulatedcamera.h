#pragma once

#include "capturemode.h"
#include "lumora_platform_export.h"
#include "simulatedcamerastate.h"
#include "simulatedcontrolconfig.h"

#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>

// How a simulated camera presents itself. Tests build cameras with
// identical or empty descriptions, without microphones, and so on.
struct SimulatedCameraConfig
{
    QString description = QStringLiteral("Lumora Simulated Camera");
    // Empty: the camera has no microphone.
    QString microphoneName = QStringLiteral("Microphone (Lumora Simulated Camera)");
    bool usb = true;
    // What the camera streams unless asked for another of its modes.
    int width = 1280;
    int height = 720;
    int fps = 30;
    // The MJPEG modes a conference camera lists, from 640x480 to 4K; a
    // camera configured at a size or rate outside them offers that alone.
    QList<CaptureMode> modes = {
        {3840, 2160, 30, CaptureMode::Format::Mjpeg}, {1920, 1080, 60, CaptureMode::Format::Mjpeg},
        {1920, 1080, 30, CaptureMode::Format::Mjpeg}, {1280, 720, 60, CaptureMode::Format::Mjpeg},
        {1280, 720, 30, CaptureMode::Format::Mjpeg},  {640, 480, 30, CaptureMode::Format::Mjpeg}};
    // USB identity: a serial number (empty: none, as with many cameras),
    // vendor:product ids and the port it is plugged into (empty: the hub
    // picks a port of its own for each plug-in).
    QString serial = QString();
    QString usbIds = QStringLiteral("1d6b:4c55");
    QString usbPort = QString();
    // The people in the room (SimulatedPeople); empty: the scene that
    // LUMORA_SIMULATED_SCENE names, if any.
    QString scene = QString();
    // Empty: a node of its own. A node a camera left: plugged in again
    // there, as the kernel gives a freed node to the next device.
    QString deviceName = QString();
};

// One simulated USB camera. Shared between the GUI thread (catalog,
// controls) and the capture worker (frames), hence the lock around the
// state.
class LUMORA_PLATFORM_EXPORT SimulatedCamera
{
public:
    SimulatedCamera(const QString& deviceName, const SimulatedCameraConfig& config);

    QString deviceName() const { return m_deviceName; }
    const SimulatedCameraConfig& config() const { return m_config; }
    // The modes the camera offers (see SimulatedCameraConfig::modes).
    QList<CaptureMode> modes() const;
    // Those modes as its driver lists them: after a wait while listing
    // hangs (at most 20 s), as with a driver slow to answer;
    // stuckListings() counts the callers held there.
    QList<CaptureMode> listModes();
    void setListingHangs(bool hangs);
    int stuckListings() const;

    bool isPlugged() const { return m_plugged.load(); }
    void setPlugged(bool plugged) { m_plugged.store(plugged); }

    // Another program holds the camera: opening a stream fails.
    bool inUseByOtherProgram() const { return m_inUse.load(); }
    void setInUseByOtherProgram(bool inUse) { m_inUse.store(inUse); }

    // The open call hangs until released (at most 20 s), as with a camera
    // whose firmware stopped answering; stuckOpens() counts the callers
    // held there.
    void setOpenHangs(bool hangs);
    int stuckOpens() const;

    // The capture side takes the camera exclusively, as a real device
    // allows one streaming client at a time.
    bool acquireStream();
    void releaseStream();
    bool isStreaming() const { return m_streaming.load(); }

    SimulatedCameraState state() const;
    void setState(const SimulatedCameraState& state);
    void modifyState(const std::function<void(SimulatedCameraState&)>& change);

    // Moves pan, tilt and zoom by their relative speeds over the given time,
    // within their limits. Called by whoever renders frames.
    void advanceMotion(double seconds);

    SimulatedControlConfig controlConfig() const;
    void modifyControlConfig(const std::function<void(SimulatedControlConfig&)>& change);

    // Every control request the camera received, oldest first.
    QList<SimulatedControlRequest> requests() const;
    void clearRequests();
    void logRequest(const SimulatedControlRequest& request);

private:
    const QString m_deviceName;
    const SimulatedCameraConfig m_config;
    std::atomic<bool> m_plugged{true};
    std::atomic<bool> m_inUse{false};
    std::atomic<bool> m_streaming{false};
    mutable std::mutex m_openMutex;
    std::condition_variable m_openReleased;
    bool m_openHangs = false;
    int m_stuckOpens = 0;
    bool m_listingHangs = false; // under m_openMutex, as its count
    int m_stuckListings = 0;
    mutable std::mutex m_stateMutex;
    SimulatedCameraState m_state;
    double m_panAccumulator = 0.0;
    double m_tiltAccumulator = 0.0;
    double m_zoomAccumulator = 0.0;
    mutable std::mutex m_controlMutex;
    SimulatedControlConfig m_controlConfig;
    QList<SimulatedControlRequest> m_requests;
};
