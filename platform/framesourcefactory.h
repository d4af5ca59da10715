#pragma once

#include "framesource.h"
#include "lumora_platform_export.h"

#include <memory>

class SimulatedCamera;

// The source of a camera's pictures: the simulated camera's own when one is
// given, else the system's camera with that device name (a V4L2 node on
// Linux, a DirectShow device on Windows). Opens nothing yet.
LUMORA_PLATFORM_EXPORT std::unique_ptr<FrameSource>
createFrameSource(const QString& deviceName, const std::shared_ptr<SimulatedCamera>& simulated);
