#pragma once

#include "lumora_platform_export.h"

#include <QString>

#include <linux/videodev2.h>

// v4l2loopback without exclusive_caps offers its capture side even while no
// program writes to it. Such a node delivers nothing (STREAMON fails with
// EIO) and is no camera until a producer streams, which its sysfs "state"
// tells ("capture"). sysfsRoot is "/sys" or a test's copy of it.
namespace LoopbackNode {

LUMORA_PLATFORM_EXPORT bool isLoopback(const v4l2_capability& cap);
LUMORA_PLATFORM_EXPORT bool isIdle(const QString& devicePath,
                                   const QString& sysfsRoot = QStringLiteral("/sys"));

} // namespace LoopbackNode
