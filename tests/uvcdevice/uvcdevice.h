#pragma once

// The controller of the user-space uvcvideo cameras of libuvcdevice.so (given
// with LD_PRELOAD; code in the same process reaches it through dlsym).
// UVCDEV_CAMERAS sets the cameras present at start, separated by ';', each
// "name|formats|main,zoom": formats "all" (MJPEG and YUYV) or "yuyv", then the
// extension units' ids, e.g. "PTZ Cam|all|4,6". Child processes run without
// the library unless UVCDEV_KEEP_PRELOAD is set.
#include <dlfcn.h>

#include <cstdint>
#include <cstdlib>
#include <string>

struct UvcDeviceControl
{
    template <typename F> static F find(const char* name)
    {
        return reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
    }
    bool loaded() const
    {
        return plug && unplug && streamingHandles && takeLogText && pictureTime && readPicture;
    }
    std::string takeLog() const
    {
        char* text = takeLogText();
        const std::string log = text;
        free(text);
        return log;
    }

    // A camera plugged in: its capture node number (new nodes every time), or -1.
    int (*plug)(const char* setup) = find<decltype(plug)>("uvcdev_plug");
    // Open handles of the node's camera fail with ENODEV; it leaves /dev and sysfs.
    int (*unplug)(int node) = find<decltype(unplug)>("uvcdev_unplug");
    // Handles that hold a camera's stream (set its format or took its buffers).
    int (*streamingHandles)() = find<decltype(streamingHandles)>("uvcdev_streaming_handles");
    // The requests since the last call, one per line (malloc'd).
    char* (*takeLogText)() = find<decltype(takeLogText)>("uvcdev_take_log");
    // Capture time (CLOCK_MONOTONIC ns) of the last buffer dequeued with that
    // picture number; -1 before any.
    int64_t (*pictureTime)(int picture) = find<decltype(pictureTime)>("uvcdev_picture_time");
    // The number drawn into a delivered picture, from RGB888 rows of any scale; -1 if none.
    int (*readPicture)(const uint8_t* rgb, int width, int height,
                       int stride) = find<decltype(readPicture)>("uvcdev_read_picture");
};
