#pragma once

#include "libavdevicemicrophone.h"

// A PulseAudio source read through libavdevice's "pulse" input.
class PulseMicrophone : public LibavdeviceMicrophone
{
public:
    // source: the PulseAudio source name (the catalog's systemId).
    bool open(const std::string& source, std::string* error);
};
