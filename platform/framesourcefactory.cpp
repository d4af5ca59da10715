#include "framesourcefactory.h"

#include "simulated/simulatedcamera.h"
#include "simulated/simulatedhub.h"
#include "simulated/simulatedsource.h"

#if defined(_WIN32)
#include "windows/dshowmodes.h"
#include "windows/dshowsource.h"
using SystemFrameSource = DshowSource;
#else
#include "linux/v4l2capturesource.h"
#include "linux/v4l2formatprobe.h"
using SystemFrameSource = V4l2CaptureSource;
#endif

std::unique_ptr<FrameSource> createFrameSource(const QString& deviceName)
{
    if (auto simulated = SimulatedHub::instance().camera(deviceName)) {
        return std::make_unique<SimulatedSource>(simulated);
    }
    return std::make_unique<SystemFrameSource>(deviceName);
}

QList<CaptureMode> listCaptureModes(const QString& deviceName)
{
    if (auto simulated = SimulatedHub::instance().camera(deviceName)) {
        return simulated->listModes();
    }
#if defined(_WIN32)
    return dshowCaptureModes(deviceName);
#else
    return v4l2CaptureModes(deviceName);
#endif
}
