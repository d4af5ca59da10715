#pragma once

#include <cerrno>
#include <sys/ioctl.h>

// A signal that arrives during a system call (the interrupt watcher's
// SIGINT, a debugger's stop) ends it with EINTR although nothing failed:
// the call is made again. Returns the call's own result; errno tells why
// when it is -1.
template <typename Call> inline int retryOnInterrupt(Call call)
{
    int result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

inline int retryIoctl(int fd, unsigned long request, void* argument)
{
    return retryOnInterrupt([&] { return ::ioctl(fd, request, argument); });
}
