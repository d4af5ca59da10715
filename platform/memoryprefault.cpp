#include "memoryprefault.h"

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>

// Linux 5.14 and later; older kernels refuse it with EINVAL.
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif
#endif

bool prefaultForWriting(void* data, qint64 bytes)
{
#if defined(__linux__)
    if (!data || bytes <= 0) {
        return false;
    }
    const quintptr page = quintptr(sysconf(_SC_PAGESIZE));
    const quintptr start = quintptr(data) & ~(page - 1);
    const quintptr end = quintptr(data) + quintptr(bytes);
    return madvise(reinterpret_cast<void*>(start), size_t(end - start), MADV_POPULATE_WRITE) == 0;
#else
    Q_UNUSED(data);
    Q_UNUSED(bytes);
    return false;
#endif
}
