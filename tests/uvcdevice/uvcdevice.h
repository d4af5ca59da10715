#pragma once

// The controller of the user-space uvcvideo cameras (libuvcdevice.so, given
// with LD_PRELOAD). UVCDEV_CAMERAS sets the cameras present at start, as
// specifications separated by ';': "name|formats|main,zoom" with formats
// "all" (MJPEG and YUYV) or "yuyv" and the unit ids of the two extension
// units, e.g. "PTZ Cam|all|4,6". The library takes itself out of LD_PRELOAD
// for child processes unless UVCDEV_KEEP_PRELOAD is set.
//
// Code in the same process reaches it through dlsym, so nothing links it.

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
        std::string log = text;
        free(text);
        return log;
    }

    // Plugs in a camera; its capture node number, or -1.
    int (*plug)(const char* specification) = find<decltype(plug)>("uvcdev_plug");
    // The camera of that capture node goes: open handles fail with ENODEV,
    // the nodes leave /dev and sysfs. 0, or -1 when it is not plugged.
    int (*unplug)(int node) = find<decltype(unplug)>("uvcdev_unplug");
    // The handles that hold a camera's stream (set a format, buffers).
    int (*streamingHandles)() = find<decltype(streamingHandles)>("uvcdev_streaming_handles");
    // Every request since the last call, one per line (malloc'd).
    char* (*takeLogText)() = find<decltype(takeLogText)>("uvcdev_take_log");
    // When the last buffer that carried picture `picture` was captured
    // (CLOCK_MONOTONIC, ns); -1 when none was dequeued yet.
    int64_t (*pictureTime)(int picture) = find<decltype(pictureTime)>("uvcdev_picture_time");
    // The picture number drawn into a delivered picture, read from RGB888
    // rows of any scale; -1 when there is none.
    int (*readPicture)(const uint8_t* rgb, int width, int height,
                       int stride) = find<decltype(readPicture)>("uvcdev_read_picture");
};
