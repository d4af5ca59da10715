#pragma once

#include "audioendpoints.h"

#include <QString>
#include <QtGlobal>

// The computer's speaker and microphone volume on the program's scale, 0 to
// 100. Writes go to every active endpoint of the kind; a read gives the
// volume of the endpoint listed last, or 0 when there is none.
class SystemVolume
{
public:
    explicit SystemVolume(AudioEndpoints& endpoints = AudioEndpoints::instance());

    // True when an endpoint was read; else *unreadable says why not (it
    // is emptied when one was).
    bool getSpeakerVolume(float& value, QString* unreadable = nullptr);
    void setSpeakerVolume(float value);
    // 0 when the last endpoint was read, negative when it could not be;
    // *unreadable as above.
    qint32 getMicVolume(float& value, QString* unreadable = nullptr);
    // Only recording endpoints named as microphones are changed.
    void setMicVolume(float value);

private:
    AudioEndpoints& m_endpoints;
};

// A recording endpoint counts as a microphone when its name says so in
// Chinese or in English, in any case.
bool isMicrophoneName(const QString& friendlyName);
// The speaker write's limit: whole values below 0 or above 100 are pinned.
float speakerScalar(float value);
