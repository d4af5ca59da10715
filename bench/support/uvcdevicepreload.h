// Benchmarks of the user-space uvcvideo cameras run themselves again with
// the camera library preloaded, so that the program under test finds the
// cameras through the system calls it always makes.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// Runs this program again with libuvcdevice preloaded (beside whatever else
// the caller preloads) and `cameras` as its cameras. Returns only on failure.
inline int rerunWithUvcDevice(const char* library, const char* cameras, char** argv)
{
    const char* preloaded = getenv("LD_PRELOAD");
    setenv("LD_PRELOAD",
           (std::string(library) + (preloaded ? std::string(":") + preloaded : "")).c_str(), 1);
    setenv("UVCDEV_CAMERAS", cameras, 1);
    unsetenv("LUMORA_SIMULATED_CAMERAS");
    execv("/proc/self/exe", argv);
    perror("execv");
    return 1;
}
