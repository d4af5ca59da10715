#pragma once

#include "capturemode.h"
#include "lumora_platform_export.h"

#include <QByteArray>
#include <QList>

// The modes in what libavdevice's dshow input writes when asked to list a
// camera's options: one line per entry of the capture pin's capabilities,
// "vcodec=mjpeg  min s=1920x1080 fps=30 max s=1920x1080 fps=60" or
// "pixel_format=yuyv422  min s=640x480 fps=5 max s=640x480 fps=30", with the
// log's "[dshow @ ...]" prefix or without it. Plain text, so it is read the
// same on every system.
namespace DshowOptionListing {

// Each entry gives the ends of its ranges: both sizes, each at the fastest
// and the slowest rate, in the formats Lumora decodes (MJPEG, H.264, YUYV,
// NV12); everything else (other pixel formats, unknown compressions, pin
// and audio lines) is passed over. Sorted as a chooser shows them, each
// mode once.
LUMORA_PLATFORM_EXPORT QList<CaptureMode> modes(const QByteArray& listing);

} // namespace DshowOptionListing
