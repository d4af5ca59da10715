#pragma once

// A uvcvideo camera in user space, for the process this library is preloaded
// into: /dev/videoN nodes with their sysfs entries, the V4L2 and UVC ioctls
// behind them. UVCDEV_CAMERAS sets the cameras present at start, as camera
// specifications separated by ';'. A specification is "name|formats|main,zoom":
// formats "all" (MJPEG and YUYV) or "yuyv", and the unit ids of the two
// extension units, e.g. "PTZ Cam|all|4,6".
//
// Suites running in the same process reach the controller with dlsym, so that
// nothing links this library in.

#include <cstdint>

extern "C" {
// Plugs in a camera; its capture node number, or -1.
typedef int (*UvcdevPlug)(const char* specification);
// Unplugs the camera of that capture node: open handles fail with ENODEV,
// the nodes leave /dev and sysfs. 0, or -1 when no such camera is plugged.
typedef int (*UvcdevUnplug)(int node);
// Every request the cameras received since the last call, one per line
// (malloc'd, the caller frees it).
typedef char* (*UvcdevTakeLog)();
// When the last buffer that carried picture number `picture` was captured
// (CLOCK_MONOTONIC, ns); -1 when none has been dequeued.
typedef int64_t (*UvcdevPictureTime)(int picture);
// The picture number drawn into a delivered picture, read back from RGB888
// rows of any scale; -1 when there is none.
typedef int (*UvcdevReadPicture)(const uint8_t* rgb, int width, int height, int stride);
}
