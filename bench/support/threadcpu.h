#pragma once

#include <time.h>

// CPU time of the calling thread, in nanoseconds: a late tick with little of
// it was the scheduler's doing, not the program's.
inline long long threadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return (long long)now.tv_sec * 1000000000 + now.tv_nsec;
}
