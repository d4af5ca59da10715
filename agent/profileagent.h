#pragma once

#include "videoinputinfo.h"

#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>

class ControlChangeWatcher;
class DeviceChangeNotifier;
class WindowWatch;
class SystemResumeNotifier;

// Keeps every camera's profile applied without the window: when a camera
// is plugged in, when the machine wakes up, and, for a held profile,
// whenever another program changes a value. Only the values that differ
// are written, as the window does, and each action is told in one line.
// The camera the window has open is the window's: it applies that one's
// profile itself, and the agent takes it back, as the window left its
// profile, once the window lets it go or closes.
class ProfileAgent : public QObject
{
    Q_OBJECT
public:
    enum class Role
    {
        KeepsProfiles,
        // Lists the cameras and tells their changes, and writes nothing:
        // the window's own agent for its network servers, where the window
        // and lumora-ctl agent keep the profiles.
        WatchesOnly,
    };
    explicit ProfileAgent(QObject* parent = nullptr) : ProfileAgent(Role::KeepsProfiles, parent) {}
    ProfileAgent(Role role, QObject* parent);

    // The first look at the cameras: each present one gets its profile.
    void start();

    // How the agent learns of cameras and of resume, for its first line.
    QString watchingWhat() const;

    // The cameras here now, and whether each one's profile was applied
    // (false for one without a profile or not opened yet).
    QList<VideoInputInfo> presentCameras() const;
    bool profileApplied(const VideoInputInfo& camera) const;

    // From now on, values other programs change on a camera are told by
    // controlsChangedElsewhere: at once where the camera's control events
    // tell of them, else within the read-back interval.
    void tellChangesElsewhere();
    // This process wrote to the camera itself (an API request): what it
    // wrote is not someone else's change.
    void noteOwnWrite(const VideoInputInfo& camera);

signals:
    void logLine(const QString& line);
    // The USB cameras present, in the camera list's order, after each look.
    void camerasListed(const QList<VideoInputInfo>& cameras);
    void cameraPlugged(const VideoInputInfo& camera);
    void cameraUnplugged(const VideoInputInfo& camera);
    void controlsWritten(const VideoInputInfo& camera, const QStringList& names);
    // Values of the camera's profile controls that another program (or
    // the window) changed, with their new values.
    void controlsChangedElsewhere(const VideoInputInfo& camera, const QJsonObject& values);

public slots:
    // The device list may have changed: cameras that came get their profile.
    void camerasChanged();
    // The machine woke up: every camera gets its profile again.
    void resumed();

private slots:
    void keepHeldProfiles();
    void controlsChanged(const VideoInputInfo& camera);
    void retryPending();
    void windowOpened();
    void cameraLeftByWindow(const QString& deviceName);

private:
    struct Present
    {
        VideoInputInfo camera;
        QString key;
        // The camera's own word of changes; null where it gives none, and
        // then a held profile is read back instead.
        std::shared_ptr<ControlChangeWatcher> changes;
        // The profile controls' values as last read, to tell what changed.
        QJsonObject seen;
    };
    enum class Outcome
    {
        Applied,
        Unreachable, // the camera could not be opened (yet)
    };

    QList<VideoInputInfo> usbCameras() const;
    QString label(const VideoInputInfo& camera) const;
    // Listens to the camera's control events, where it has them and can be
    // opened already.
    void watchControls(Present& present);
    // Reads the camera's values and tells those that differ from the last
    // reading (the first reading tells nothing).
    void lookForChanges(Present& present);
    Present* presentOf(const VideoInputInfo& camera);
    // `key` is the camera's profile key, found once when it came.
    Outcome apply(const VideoInputInfo& camera, const QString& key, const QString& why,
                  bool heldOnly);

    Role m_role;
    DeviceChangeNotifier* m_devices;
    SystemResumeNotifier* m_resume;
    WindowWatch* m_window;
    QList<Present> m_present;
    QList<VideoInputInfo> m_pending; // came, but could not be opened yet
    QList<VideoInputInfo> m_applied;
    int m_retries = 0;
    bool m_tellChanges = false;
    QTimer m_heldTimer;
    int m_heldTicks = 0;
    QTimer m_retryTimer;
};
