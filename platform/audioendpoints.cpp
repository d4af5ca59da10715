#include "audioendpoints.h"

#if defined(_WIN32)
#include "windows/coreaudioendpoints.h"
using SystemAudioEndpoints = CoreAudioEndpoints;
#else
#include "linux/pulseaudioendpoints.h"
using SystemAudioEndpoints = PulseAudioEndpoints;
#endif

AudioEndpoints::~AudioEndpoints() = default;

const char* AudioEndpoints::failureLine(Status) const
{
    return nullptr;
}

AudioEndpoints& AudioEndpoints::instance()
{
    static SystemAudioEndpoints endpoints;
    return endpoints;
}
