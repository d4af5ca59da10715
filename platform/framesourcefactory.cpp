#include "framesourcefactory.h"

#include "simulated/simulatedhub.h"
#include "simulated/simulatedsource.h"

#if defined(_WIN32)
#include "windows/dshowsource.h"
using SystemFrameSource = DshowSource;
#else
#include "linux/v4l2capturesource.h"
using SystemFrameSource = V4l2CaptureSource;
#endif

std::unique_ptr<FrameSource> createFrameSource(const QString& deviceName)
{
    if (auto simulated = SimulatedHub::instance().camera(deviceName)) {
        return std::make_unique<SimulatedSource>(simulated);
    }
    return std::make_unique<SystemFrameSource>(deviceName);
}
