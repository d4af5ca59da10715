#pragma once

#include "audioendpoints.h"

// Active render and capture endpoints from the MMDevice API, volumes through
// IAudioEndpointVolume. Every call sets up COM for the calling thread and
// releases everything it obtained.
class LUMORA_PLATFORM_EXPORT CoreAudioEndpoints : public AudioEndpoints
{
public:
    Status activeEndpoints(Flow flow, QList<AudioEndpointInfo>* endpoints) override;
    bool masterVolume(Flow flow, const QString& id, float* scalar) override;
    bool setMasterVolume(Flow flow, const QString& id, float scalar) override;
    // The failing call's name; "/n" is part of the text, as it always was.
    const char* failureLine(Status status) const override;
};
