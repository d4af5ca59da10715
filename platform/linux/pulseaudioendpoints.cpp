#include "pulseaudioendpoints.h"

#include "pulseconnection.h"

#include <pulse/introspect.h>
#include <pulse/volume.h>

#include <QByteArray>

#include <cmath>

namespace {

// What the backend needs of a sink or a source.
struct DeviceFacts
{
    QString id;
    QString friendlyName;
    pa_cvolume volume;
    bool active = false;
};

bool isMonitor(const pa_sink_info*)
{
    return false;
}
bool isMonitor(const pa_source_info* info)
{
    return info->monitor_of_sink != PA_INVALID_INDEX;
}

template <typename Info> DeviceFacts factsOf(const Info* info)
{
    DeviceFacts facts;
    facts.id = QString::fromUtf8(info->name);
    const char* port = info->active_port ? info->active_port->description : nullptr;
    facts.friendlyName = pulseFriendlyName(port, info->description, info->name);
    facts.volume = info->volume;
    // An endpoint whose jack is known to be empty is unplugged, not active.
    facts.active = !isMonitor(info) &&
                   !(info->active_port && info->active_port->available == PA_PORT_AVAILABLE_NO);
    return facts;
}

struct ListRequest
{
    PulseRequest* request = nullptr;
    QList<DeviceFacts> devices;
};

template <typename Info> void collect(pa_context*, const Info* info, int eol, void* userdata)
{
    auto* list = static_cast<ListRequest*>(userdata);
    if (eol == 0 && info) {
        list->devices.append(factsOf(info));
        return;
    }
    list->request->finish(eol > 0);
}

bool listDevices(AudioEndpoints::Flow flow, QList<DeviceFacts>* devices)
{
    ListRequest list;
    const bool ok = PulseConnection::instance().run(
        [&](pa_context* context, PulseRequest* request) {
            list.request = request;
            return flow == AudioEndpoints::Flow::Render
                       ? pa_context_get_sink_info_list(context, &collect<pa_sink_info>, &list)
                       : pa_context_get_source_info_list(context, &collect<pa_source_info>, &list);
        },
        PulseAudioEndpoints::kRequestTimeoutMs);
    *devices = list.devices;
    return ok;
}

bool readDevice(AudioEndpoints::Flow flow, const QString& id, DeviceFacts* facts)
{
    ListRequest list;
    const QByteArray name = id.toUtf8();
    const bool ok = PulseConnection::instance().run(
        [&](pa_context* context, PulseRequest* request) {
            list.request = request;
            return flow == AudioEndpoints::Flow::Render
                       ? pa_context_get_sink_info_by_name(context, name.constData(),
                                                          &collect<pa_sink_info>, &list)
                       : pa_context_get_source_info_by_name(context, name.constData(),
                                                            &collect<pa_source_info>, &list);
        },
        PulseAudioEndpoints::kRequestTimeoutMs);
    if (!ok || list.devices.isEmpty()) {
        return false;
    }
    *facts = list.devices.first();
    return true;
}

void succeeded(pa_context*, int success, void* request)
{
    static_cast<PulseRequest*>(request)->finish(success != 0);
}

} // namespace

QString pulseFriendlyName(const char* portDescription, const char* description, const char* name)
{
    const QString device = description && *description ? QString::fromUtf8(description)
                                                       : QString::fromUtf8(name ? name : "");
    if (!portDescription || !*portDescription) {
        return device;
    }
    return QStringLiteral("%1 (%2)").arg(QString::fromUtf8(portDescription), device);
}

float pulseVolumeToScalar(quint32 volume)
{
    return float(std::round(double(volume) / PA_VOLUME_NORM * 10000.0) / 10000.0);
}

quint32 scalarToPulseVolume(float scalar)
{
    const double bounded = std::isnan(scalar) ? 0.0 : std::min(1.0, std::max(0.0, double(scalar)));
    return quint32(std::lround(bounded * PA_VOLUME_NORM));
}

AudioEndpoints::Status PulseAudioEndpoints::activeEndpoints(Flow flow,
                                                            QList<AudioEndpointInfo>* endpoints)
{
    endpoints->clear();
    if (!PulseConnection::instance().waitUntilReady(kRequestTimeoutMs)) {
        return Status::Unavailable;
    }
    QList<DeviceFacts> devices;
    if (!listDevices(flow, &devices)) {
        // A server that goes away while the list is asked for leaves the
        // request unanswered until it runs out of time, and the connection
        // is dropped: the audio system cannot be reached, which is what the
        // user must read, not that the list failed.
        return PulseConnection::instance().isReady() ? Status::EnumerationFailed
                                                     : Status::Unavailable;
    }
    for (const DeviceFacts& device : devices) {
        if (device.active) {
            endpoints->append({device.id, device.friendlyName, int(device.volume.channels)});
        }
    }
    return Status::Ok;
}

bool PulseAudioEndpoints::masterVolume(Flow flow, const QString& id, float* scalar)
{
    DeviceFacts device;
    if (!readDevice(flow, id, &device)) {
        return false;
    }
    *scalar = pulseVolumeToScalar(pa_cvolume_max(&device.volume));
    return true;
}

bool PulseAudioEndpoints::setMasterVolume(Flow flow, const QString& id, float scalar)
{
    // Read first: scaling the device's own volume keeps its balance.
    DeviceFacts device;
    if (!readDevice(flow, id, &device) || !pa_cvolume_valid(&device.volume)) {
        return false;
    }
    pa_cvolume volume = device.volume;
    pa_cvolume_scale(&volume, scalarToPulseVolume(scalar));
    const QByteArray name = id.toUtf8();
    return PulseConnection::instance().run(
        [&](pa_context* context, PulseRequest* request) {
            return flow == Flow::Render
                       ? pa_context_set_sink_volume_by_name(context, name.constData(), &volume,
                                                            &succeeded, request)
                       : pa_context_set_source_volume_by_name(context, name.constData(), &volume,
                                                              &succeeded, request);
        },
        kRequestTimeoutMs);
}
