#pragma once

// The controller of the user-space uvcvideo cameras of libuvcdevice.so, given
// with LD_PRELOAD: without it these weak functions are null.
// UVCDEV_CAMERAS sets the cameras present at start, separated by ';', each
// "name|formats|main,zoom": formats "all" (MJPEG, YUYV, H.264), "yuyv", "nv12" or
// "mute" (all, but STREAMON fails with EIO), then the
// extension units' ids, e.g. "PTZ Cam|all|4,6". A fourth field "slow-xu"
// makes every extension-unit GET_CUR and SET_CUR take 2 s, as a camera busy
// with a request: "PTZ Cam|all|4,6|slow-xu". Child processes run without
// the library unless UVCDEV_KEEP_PRELOAD is set.
#include <cstdint>

#define UVCDEV_API extern "C" __attribute__((weak, visibility("default")))
// A camera plugged in: its capture node number (new nodes every time), or -1.
UVCDEV_API int uvcdev_plug(const char* setup);
// Open handles of the node's camera fail with ENODEV; it leaves /dev and sysfs.
UVCDEV_API int uvcdev_unplug(int node);
// Cameras whose stream a handle holds (set its format or took its buffers).
UVCDEV_API int uvcdev_streaming_handles();
// The requests since the last call, one per line; valid until the next call.
UVCDEV_API const char* uvcdev_take_log();
// Non-blocking VIDIOC_DQBUF calls that found no picture, since the last call.
UVCDEV_API int uvcdev_empty_dequeues();
// Capture time (CLOCK_MONOTONIC ns) of the last buffer dequeued with that
// picture number; -1 before any.
UVCDEV_API int64_t uvcdev_picture_time(int picture);
// The number drawn into a delivered picture, from RGB888 rows of any scale; -1 if none.
UVCDEV_API int uvcdev_read_picture(const uint8_t* rgb, int width, int height, int stride);
