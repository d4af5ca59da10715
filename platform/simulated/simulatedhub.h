#pragma once

#include "audioinputinfo.h"
#include "lumora_platform_export.h"
#include "simulatedcamera.h"
#include "videoinputinfo.h"

#include <QList>
#include <QString>

#include <memory>
#include <mutex>

// The process-wide registry of simulated devices: cameras with their
// microphones, plus foreign inputs (a non-USB camera, a stray microphone)
// for the discovery tests. Plugging and unplugging happen at run time, from
// any thread.
class LUMORA_PLATFORM_EXPORT SimulatedHub
{
public:
    static SimulatedHub& instance();

    // Number of simulated cameras the environment asks for
    // (LUMORA_SIMULATED_CAMERAS; unset, invalid or 0 means none).
    static int requestedCameraCount();
    // The serial number of the camera at that position of the ones the
    // environment asks for: SIM0001, SIM0002, ...
    static QString requestedCameraSerial(int position);

    // Unplugs cameras at the times LUMORA_SIMULATED_UNPLUG asks for:
    // "POSITION@MS[,POSITION@MS...]" unplugs the camera plugged in at that
    // position (0 = first) MS milliseconds after this call; "POSITION@listed"
    // unplugs it right after the cameras have first been listed, between a
    // command's choice of camera and its use. Lets a test pull a camera out
    // of another process in the middle of a command.
    void scheduleUnplugsFromEnvironment();

    // Simulated cameras live in the process that plugs them. With
    // LUMORA_SIMULATED_STATE_DIR set, the cameras plugged so far keep their
    // memory in that folder, one file per serial number (see
    // SimulatedStateFolder), so that commands run one after the other see
    // the same cameras, and a test can pull a camera out of a running
    // process and plug it in again.
    void keepStatesFromEnvironment();

    // Plugs in a camera and, when it has one, its microphone. The device
    // name is new for every plug-in, as a replugged USB device gets a new
    // node, unless the configuration names the node of one that left.
    std::shared_ptr<SimulatedCamera> plugCamera(const SimulatedCameraConfig& given = {});
    // Unplugs the camera with that device name; a stream on it ends.
    void unplug(const QString& deviceName);
    void unplugAll();
    // The camera restarts: it leaves the bus once the caller's event loop
    // runs again and comes back after its configured restart time, with its
    // settings, as a new device. Needs an event loop on the calling thread;
    // a reset() in between cancels the return.
    void restart(const QString& deviceName);

    void addForeignVideoInput(const VideoInputInfo& input);
    void addForeignAudioInput(const AudioInputInfo& input);

    // Forgets every device: tests start from an empty hub.
    void reset();

    VideoInputList videoInputs();
    AudioInputList audioInputs() const;
    std::shared_ptr<SimulatedCamera> camera(const QString& deviceName) const;
    QList<std::shared_ptr<SimulatedCamera>> cameras() const;

private:
    SimulatedHub() = default;

    struct VideoEntry
    {
        VideoInputInfo info;
        std::shared_ptr<SimulatedCamera> camera; // null for a foreign input
    };

    mutable std::mutex m_mutex;
    QList<VideoEntry> m_video;
    AudioInputList m_audio;
    int m_nextNode = 0;
    QStringList m_leaveWhenListed; // device names, see scheduleUnplugsFromEnvironment
    int m_generation = 0;          // counts reset()s
};
