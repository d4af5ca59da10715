#include "simulateddevicecatalog.h"

#include "simulatedhub.h"

VideoInputList SimulatedDeviceCatalog::videoInputs()
{
    return SimulatedHub::instance().videoInputs();
}

AudioInputList SimulatedDeviceCatalog::audioInputs()
{
    return SimulatedHub::instance().audioInputs();
}
