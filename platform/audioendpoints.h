#pragma once

#include "lumora_platform_export.h"

#include <QList>
#include <QString>

// One active playback or recording endpoint of the computer.
struct AudioEndpointInfo
{
    QString id;           // what the audio system names it by
    QString friendlyName; // what the user sees, e.g. "Microphone (USB Camera)"
    int channelCount = 0;
};

// The computer's audio endpoints and their master volumes, as a scalar from
// 0.0 to 1.0. Calls are synchronous and bounded: with no reachable audio
// system they fail at once, with a hung one after a short time-out.
class LUMORA_PLATFORM_EXPORT AudioEndpoints
{
public:
    enum class Flow
    {
        Render,
        Capture
    };
    enum class Status
    {
        Ok,
        Unavailable,       // the audio system cannot be reached
        EnumerationFailed, // reached, but the endpoints could not be listed
        CountFailed        // listed, but their number could not be read
    };

    virtual ~AudioEndpoints();

    // The endpoints in state active, in the system's order.
    virtual Status activeEndpoints(Flow flow, QList<AudioEndpointInfo>* endpoints) = 0;
    virtual bool masterVolume(Flow flow, const QString& id, float* scalar) = 0;
    // scalar is limited to 0.0 to 1.0.
    virtual bool setMasterVolume(Flow flow, const QString& id, float scalar) = 0;
    // The line the audio system's own tools print for a failure, for the
    // program's standard output; null where the system has none.
    virtual const char* failureLine(Status status) const;

    // The system's endpoints: PulseAudio on Linux, Core Audio on Windows.
    static AudioEndpoints& instance();
};
