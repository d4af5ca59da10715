#pragma once

#include "libavdevicemicrophone.h"

// A Windows audio input read through libavdevice's "dshow" input.
class DshowMicrophone : public LibavdeviceMicrophone
{
public:
    // name: the input's name as the device catalog lists it; ordinal: which
    // of the inputs with that name.
    bool open(const std::string& name, int ordinal, std::string* error);
};
