#include "writeall.h"

#include <cerrno>
#include <unistd.h>

bool writeAll(int fd, const char* data, std::size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        length -= std::size_t(written);
    }
    return true;
}
