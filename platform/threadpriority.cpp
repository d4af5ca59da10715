#include "threadpriority.h"

#if defined(_WIN32)
#include <windows.h>
#elif defined(__linux__)
#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

// Five nice steps give a thread a third of the weight of one at the default,
// so a burst of encoding leaves the window's thread its turn within a few
// milliseconds while the encoder still takes whatever the others leave.
constexpr int kNiceSteps = 5;

} // namespace

bool lowerCurrentThreadPriority()
{
#if defined(_WIN32)
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL) != 0;
#elif defined(__linux__)
    // On Linux the nice value belongs to each thread, named by its own id.
    const id_t thread = id_t(syscall(SYS_gettid));
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, thread);
    if (current == -1 && errno != 0) {
        return false;
    }
    return setpriority(PRIO_PROCESS, thread, current + kNiceSteps) == 0;
#else
    return false;
#endif
}
