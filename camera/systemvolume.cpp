#include "systemvolume.h"

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

using Flow = AudioEndpoints::Flow;
using Status = AudioEndpoints::Status;

// The audio system's own failure texts go to standard output, as they
// always have; the microphone's operations leave out the count's.
bool reportStatus(const AudioEndpoints& endpoints, Status status, bool withCount)
{
    if (status == Status::Ok) {
        return true;
    }
    const char* line = endpoints.failureLine(status);
    if (line && (withCount || status != Status::CountFailed)) {
        std::fputs(line, stdout);
        std::fflush(stdout);
    }
    return false;
}

// A float scalar times 100 lands a hair below the whole value for some
// settings (0.53 gives 52.99999), and the pop-up truncates: rounding the
// value to a thousandth keeps what was set without hiding small volumes.
float toValue(float scalar)
{
    return float(std::round(double(scalar) * 100000.0) / 1000.0);
}

float bounded(float scalar)
{
    return std::min(1.0f, std::max(0.0f, scalar));
}

QString statusText(Status status)
{
    return status == Status::Unavailable ? QStringLiteral("The audio system cannot be reached.")
                                         : QStringLiteral("The audio devices cannot be listed.");
}

// Hands on why nothing was read; gives whether something was.
bool noReading(QString* unreadable, const QString& why, bool read = false)
{
    if (unreadable) {
        *unreadable = why;
    }
    return read;
}

} // namespace

bool isMicrophoneName(const QString& friendlyName)
{
    return friendlyName.contains(QStringLiteral("麦克风")) ||
           friendlyName.contains(QLatin1String("Microphone"), Qt::CaseInsensitive);
}

float speakerScalar(float value)
{
    const int whole = int(value);
    if (whole < 0) {
        return 0.0f;
    }
    if (whole > 100) {
        return 1.0f;
    }
    // 100.5 or -0.5 pass the whole-value test; the scalar itself must still
    // stay within what the endpoint accepts.
    return bounded(value / 100.0f);
}

SystemVolume::SystemVolume(AudioEndpoints& endpoints) : m_endpoints(endpoints) {}

bool SystemVolume::getSpeakerVolume(float& value, QString* unreadable)
{
    value = 0.0f;
    QList<AudioEndpointInfo> endpoints;
    const Status status = m_endpoints.activeEndpoints(Flow::Render, &endpoints);
    if (!reportStatus(m_endpoints, status, true)) {
        return noReading(unreadable, statusText(status));
    }
    bool read = false;
    for (const AudioEndpointInfo& endpoint : endpoints) {
        for (int channel = 0; channel < endpoint.channelCount; ++channel) {
            float scalar = 0.0f;
            if (!m_endpoints.masterVolume(Flow::Render, endpoint.id, &scalar)) {
                break;
            }
            qDebug() << "fVolumeTemp: " << scalar;
            value = toValue(scalar);
            read = true;
        }
    }
    if (!read) {
        return noReading(unreadable, endpoints.isEmpty()
                                         ? QStringLiteral("No playback device is active.")
                                         : QStringLiteral("No playback device tells its volume."));
    }
    return noReading(unreadable, QString(), true);
}

void SystemVolume::setSpeakerVolume(float value)
{
    QList<AudioEndpointInfo> endpoints;
    if (!reportStatus(m_endpoints, m_endpoints.activeEndpoints(Flow::Render, &endpoints), true)) {
        return;
    }
    const float scalar = speakerScalar(value);
    for (const AudioEndpointInfo& endpoint : endpoints) {
        for (int channel = 0; channel < endpoint.channelCount; ++channel) {
            if (!m_endpoints.setMasterVolume(Flow::Render, endpoint.id, scalar)) {
                break;
            }
        }
    }
}

qint32 SystemVolume::getMicVolume(float& value, QString* unreadable)
{
    value = 0.0f;
    QList<AudioEndpointInfo> endpoints;
    const Status status = m_endpoints.activeEndpoints(Flow::Capture, &endpoints);
    if (!reportStatus(m_endpoints, status, false)) {
        noReading(unreadable, statusText(status));
        return -1;
    }
    qint32 result = 0;
    bool read = false;
    for (const AudioEndpointInfo& endpoint : endpoints) {
        float scalar = 0.0f;
        if (m_endpoints.masterVolume(Flow::Capture, endpoint.id, &scalar)) {
            value = toValue(scalar);
            result = 0;
            read = true;
        } else {
            result = -1;
        }
    }
    noReading(unreadable,
              read                  ? QString()
              : endpoints.isEmpty() ? QStringLiteral("No recording device is active.")
                                    : QStringLiteral("No recording device tells its volume."),
              read);
    return result;
}

void SystemVolume::setMicVolume(float value)
{
    QList<AudioEndpointInfo> endpoints;
    if (!reportStatus(m_endpoints, m_endpoints.activeEndpoints(Flow::Capture, &endpoints), false)) {
        return;
    }
    const float scalar = bounded(value / 100.0f);
    for (const AudioEndpointInfo& endpoint : endpoints) {
        if (isMicrophoneName(endpoint.friendlyName)) {
            m_endpoints.setMasterVolume(Flow::Capture, endpoint.id, scalar);
        }
    }
}
