#include "profileagent.h"

#include "cameraprofilestore.h"
#include "camerasession.h"
#include "controlchangewatcher.h"
#include "devicecatalog.h"
#include "devicechangenotifier.h"
#include "systemresumenotifier.h"
#include "windowwatch.h"

#include <algorithm>

namespace {
// The window is looked for this often.
constexpr int kHeldCheckMs = 500;
// udev gives the user access to a new node a moment after the kernel makes it.
constexpr int kRetryMs = 500;
constexpr int kMaxRetries = 20;
} // namespace

ProfileAgent::ProfileAgent(Role role, QObject* parent)
    : QObject(parent), m_role(role), m_devices(DeviceChangeNotifier::create(this)),
      m_resume(SystemResumeNotifier::create(this)), m_window(new WindowWatch(this))
{
    connect(m_devices, &DeviceChangeNotifier::changed, this, &ProfileAgent::camerasChanged);
    connect(m_resume, &SystemResumeNotifier::resumed, this, &ProfileAgent::resumed);
    connect(m_window, &WindowWatch::windowOpened, this, &ProfileAgent::windowOpened);
    connect(m_window, &WindowWatch::cameraLeft, this, &ProfileAgent::cameraLeftByWindow);
    connect(m_window, &WindowWatch::windowClosed, this,
            [this] { emit logLine(QStringLiteral("the window closed")); });
    connect(&m_heldTimer, &QTimer::timeout, this, &ProfileAgent::keepHeldProfiles);
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &ProfileAgent::retryPending);
}

QString ProfileAgent::watchingWhat() const
{
    return QStringLiteral("cameras: %1; resume: %2; held values: the cameras' control events, "
                          "else read back every %3 s")
        .arg(m_devices->isEventDriven() ? m_devices->teller()
                                        : QStringLiteral("looked for regularly"),
             m_resume->isWatching() ? m_resume->teller() : QStringLiteral("not told here"))
        .arg(ControlChangeWatcher::readBackIntervalMs() / 1000.0);
}

QList<VideoInputInfo> ProfileAgent::presentCameras() const
{
    QList<VideoInputInfo> cameras;
    for (const Present& present : m_present) {
        cameras.append(present.camera);
    }
    return cameras;
}

bool ProfileAgent::profileApplied(const VideoInputInfo& camera) const
{
    return m_applied.contains(camera);
}

void ProfileAgent::start()
{
    // The window's own agent does not look for the window it serves.
    if (m_role == Role::KeepsProfiles) {
        m_window->lookNow();
    }
    camerasChanged();
    m_heldTimer.start(kHeldCheckMs);
}

QList<VideoInputInfo> ProfileAgent::usbCameras() const
{
    QList<VideoInputInfo> cameras;
    for (const VideoInputInfo& input : DeviceCatalog::instance().videoInputs()) {
        if (input.isUsbCamera()) {
            cameras.append(input);
        }
    }
    return cameras;
}

QString ProfileAgent::label(const VideoInputInfo& camera) const
{
    return QStringLiteral("%1 (%2)").arg(camera.description(), camera.deviceName());
}

void ProfileAgent::tellChangesElsewhere()
{
    m_tellChanges = true;
    for (Present& present : m_present) {
        lookForChanges(present);
    }
}

void ProfileAgent::noteOwnWrite(const VideoInputInfo& camera)
{
    if (Present* present = presentOf(camera)) {
        present->seen = QJsonObject();
        lookForChanges(*present);
    }
}

ProfileAgent::Present* ProfileAgent::presentOf(const VideoInputInfo& camera)
{
    const auto it = std::find_if(m_present.begin(), m_present.end(),
                                 [&camera](const Present& p) { return p.camera == camera; });
    return it == m_present.end() ? nullptr : &*it;
}

void ProfileAgent::lookForChanges(Present& present)
{
    if (!m_tellChanges || m_pending.contains(present.camera)) {
        return;
    }
    CameraSession session(present.camera);
    if (!session.open()) {
        return;
    }
    const QJsonObject now = session.controls().readProfile();
    QJsonObject changed;
    if (!present.seen.isEmpty()) {
        for (auto it = now.begin(); it != now.end(); ++it) {
            if (present.seen.value(it.key()) != it.value()) {
                changed.insert(it.key(), it.value());
            }
        }
    }
    present.seen = now;
    if (!changed.isEmpty()) {
        emit controlsChangedElsewhere(present.camera, changed);
    }
}

void ProfileAgent::camerasChanged()
{
    const QList<VideoInputInfo> now = usbCameras();
    QList<Present> kept;
    for (const Present& present : m_present) {
        if (now.contains(present.camera)) {
            kept.append(present);
        } else {
            m_pending.removeAll(present.camera);
            m_applied.removeAll(present.camera);
            emit logLine(label(present.camera) + QStringLiteral(": unplugged"));
            emit cameraUnplugged(present.camera);
        }
    }
    m_present = kept;
    for (const VideoInputInfo& camera : now) {
        const bool known = std::any_of(m_present.cbegin(), m_present.cend(),
                                       [&camera](const Present& p) { return p.camera == camera; });
        if (known) {
            continue;
        }
        const QString key = CameraProfileStore::keyOf(camera);
        m_present.append({camera, key, nullptr, {}});
        watchControls(m_present.last());
        emit cameraPlugged(camera);
        if (CameraProfileStore::restoreOnConnect() &&
            apply(camera, key, QStringLiteral("plugged in"), false) == Outcome::Unreachable) {
            m_pending.append(camera);
            m_retries = 0;
            m_retryTimer.start(kRetryMs);
        }
        lookForChanges(m_present.last());
    }
    emit camerasListed(now);
}

void ProfileAgent::watchControls(Present& present)
{
    if (present.changes) {
        return;
    }
    present.changes.reset(ControlChangeWatcher::create(present.camera.deviceName(), nullptr));
    if (present.changes) {
        const VideoInputInfo camera = present.camera;
        connect(present.changes.get(), &ControlChangeWatcher::changed, this,
                [this, camera] { controlsChanged(camera); });
    }
}

void ProfileAgent::retryPending()
{
    const QList<VideoInputInfo> pending = m_pending;
    m_pending.clear();
    for (const VideoInputInfo& camera : pending) {
        const bool last = m_retries + 1 >= kMaxRetries;
        if (apply(camera, CameraProfileStore::keyOf(camera), QStringLiteral("plugged in"), false) ==
            Outcome::Unreachable) {
            if (last) {
                emit logLine(label(camera) +
                             QStringLiteral(": could not be opened; its profile was not applied"));
            } else {
                m_pending.append(camera);
            }
            continue;
        }
        for (Present& present : m_present) {
            if (present.camera == camera) {
                watchControls(present);
            }
        }
    }
    if (!m_pending.isEmpty() && ++m_retries < kMaxRetries) {
        m_retryTimer.start(kRetryMs);
    }
}

void ProfileAgent::resumed()
{
    emit logLine(QStringLiteral("the machine woke up"));
    for (const Present& present : m_present) {
        apply(present.camera, present.key, QStringLiteral("after resume"), false);
    }
}

void ProfileAgent::windowOpened()
{
    emit logLine(QStringLiteral("the window is open: the camera it opens is left to it"));
}

void ProfileAgent::cameraLeftByWindow(const QString& deviceName)
{
    for (const Present& present : m_present) {
        if (present.camera.deviceName() == deviceName) {
            apply(present.camera, present.key, QStringLiteral("let go by the window"), false);
        }
    }
}

void ProfileAgent::keepHeldProfiles()
{
    if (m_role == Role::KeepsProfiles && !m_window->isWindowOpen()) {
        m_window->look();
    }
    if (++m_heldTicks < ControlChangeWatcher::readBackIntervalMs() / kHeldCheckMs) {
        return;
    }
    m_heldTicks = 0;
    for (Present& present : m_present) {
        if (present.changes) {
            continue;
        }
        lookForChanges(present);
        if (!m_pending.contains(present.camera) && CameraProfileStore::held(present.key)) {
            apply(present.camera, present.key, QStringLiteral("set back"), true);
        }
    }
}

// Also told of the agent's own writes, which then find nothing to write.
void ProfileAgent::controlsChanged(const VideoInputInfo& camera)
{
    Present* present = presentOf(camera);
    if (!present) {
        return;
    }
    const QString key = present->key;
    lookForChanges(*present);
    if (!m_pending.contains(camera) && CameraProfileStore::held(key)) {
        apply(camera, key, QStringLiteral("set back"), true);
    }
}

ProfileAgent::Outcome ProfileAgent::apply(const VideoInputInfo& camera, const QString& key,
                                          const QString& why, bool heldOnly)
{
    if (m_role == Role::WatchesOnly) {
        return Outcome::Applied;
    }
    if (m_window->openCamera() == camera.deviceName()) {
        if (!heldOnly) {
            emit logLine(label(camera) + QStringLiteral(": %1; left to the window").arg(why));
        }
        return Outcome::Applied;
    }
    const QJsonObject values = CameraProfileStore::values(key);
    if (values.isEmpty()) {
        if (!heldOnly) {
            emit logLine(label(camera) + QStringLiteral(": %1; no profile").arg(why));
        }
        return Outcome::Applied;
    }
    CameraSession session(camera);
    if (!session.open()) {
        return Outcome::Unreachable;
    }
    CameraControls& controls = session.controls();
    const QStringList written = controls.applyProfile(values);
    Present* present = presentOf(camera);
    if (m_tellChanges && present && !written.isEmpty()) {
        present->seen = controls.readProfile(); // its own writes are nobody else's
    }
    if (!m_applied.contains(camera)) {
        m_applied.append(camera);
    }
    if (!written.isEmpty()) {
        emit controlsWritten(camera, written);
    }
    // A held profile that still holds is no action worth a line.
    if (!written.isEmpty() || !heldOnly) {
        emit logLine(label(camera) +
                     QStringLiteral(": %1; %2")
                         .arg(why, written.isEmpty() ? QStringLiteral("already as its profile says")
                                                     : QStringLiteral("wrote ") +
                                                           written.join(QStringLiteral(", "))));
    }
    return Outcome::Applied;
}
