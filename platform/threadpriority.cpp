#include "threadpriority.h"

#if defined(__linux__)
#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Five nice steps give a thread a third of the weight of one at the default,
// so a burst of decoding or encoding leaves the window's thread its turn
// within a few milliseconds while the worker still takes whatever the
// others leave.
constexpr int kNiceSteps = 5;

} // namespace
#endif

bool lowerCurrentThreadPriority()
{
#if defined(_WIN32)
    // Strict priorities would starve the worker; see the header.
    return true;
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
