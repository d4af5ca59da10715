#pragma once

#include "framesource.h"
#include "lumora_platform_export.h"

#include <memory>

// The source of the pictures of the camera with that device name, as the
// device catalog lists it: a simulated camera's own stream, else a V4L2
// node on Linux, a DirectShow device on Windows. Opens nothing yet.
LUMORA_PLATFORM_EXPORT std::unique_ptr<FrameSource> createFrameSource(const QString& deviceName);

// The modes that camera offers, as its driver lists them (the simulated
// camera: its own); empty when it lists none or cannot be asked.
LUMORA_PLATFORM_EXPORT QList<CaptureMode> listCaptureModes(const QString& deviceName);
