#pragma once

#include "audioinputinfo.h"
#include "lumora_platform_export.h"

// The PulseAudio sources that are real inputs (monitors of sinks left
// out), kept up to date in the background from the server's change events,
// so that reading the list never waits for the server. With no server (or a
// dead one) the list is empty.
class LUMORA_PLATFORM_EXPORT PulseSourceList
{
public:
    static PulseSourceList& instance();

    AudioInputList sources();

private:
    PulseSourceList() = default;
};
