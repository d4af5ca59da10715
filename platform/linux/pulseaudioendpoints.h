#pragma once

#include "audioendpoints.h"

// Sinks are the playback endpoints, sources other than monitors of sinks
// the recording ones. The scalar is the volume as PulseAudio's own mixers
// show it in percent (PA_VOLUME_NORM is 1.0); setting it keeps the balance
// between channels.
class LUMORA_PLATFORM_EXPORT PulseAudioEndpoints : public AudioEndpoints
{
public:
    Status activeEndpoints(Flow flow, QList<AudioEndpointInfo>* endpoints) override;
    bool masterVolume(Flow flow, const QString& id, float* scalar) override;
    bool setMasterVolume(Flow flow, const QString& id, float scalar) override;

    // Bound of one request to the server.
    static constexpr int kRequestTimeoutMs = 150;
};

// "<active port> (<device>)" as Windows names endpoints, or the device
// description alone when the device has no ports.
QString pulseFriendlyName(const char* portDescription, const char* description, const char* name);
// Server volume to scalar and back. Reads are rounded to 1/10000 so that a
// value set in whole percent reads back as that percent and not a hair below.
float pulseVolumeToScalar(quint32 volume);
quint32 scalarToPulseVolume(float scalar);
