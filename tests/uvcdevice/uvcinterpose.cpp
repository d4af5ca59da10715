// The C library calls that reach the camera nodes and their sysfs entries,
// taken over for this process. Everything else passes straight through.
#include "uvccamera.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#define REAL(name)                                                                                 \
    static const auto real = reinterpret_cast<decltype(&::name)>(dlsym(RTLD_NEXT, #name))
#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

UvcDevices& devices()
{
    return UvcDevices::instance();
}

const char* mapped(const char* path, std::string& buffer)
{
    if (!UvcDevices::isSysfsPath(path)) {
        return path;
    }
    buffer = devices().sysfsRedirect(path);
    return buffer.c_str();
}

int failWith(int error)
{
    errno = error;
    return -1;
}

template <typename Call> int openPath(const char* path, int flags, Call call)
{
    const int node = UvcDevices::nodeNumber(path);
    if (node >= 0) {
        const int fd = devices().open(node, flags);
        return fd < 0 ? failWith(-fd) : fd;
    }
    std::string buffer;
    return call(mapped(path, buffer));
}

template <typename Stat> int nodeStat(int node, Stat* st)
{
    uint64_t inode = 0;
    int64_t changed = 0;
    if (!devices().nodeIdentity(node, &inode, &changed)) {
        return failWith(ENOENT);
    }
    std::memset(st, 0, sizeof *st);
    st->st_mode = S_IFCHR | 0660;
    st->st_rdev = makedev(81, node);
    st->st_dev = makedev(0, 5);
    st->st_ino = inode;
    st->st_nlink = 1;
    st->st_blksize = 4096;
    st->st_ctim = st->st_mtim = st->st_atim = timespec{changed / 1000000000, changed % 1000000000};
    return 0;
}

template <typename Stat, typename Call> int statPath(const char* path, Stat* st, Call call)
{
    const int node = UvcDevices::nodeNumber(path);
    if (node >= 0) {
        return nodeStat(node, st);
    }
    std::string buffer;
    return call(mapped(path, buffer));
}

// Listings of /dev under way, with the nodes still to add at their end.
struct Listing
{
    std::vector<int> nodes;
    size_t next = 0;
    dirent64 entry{};
};
std::mutex listingMutex;
std::map<DIR*, Listing> listings;

dirent64* nextNode(DIR* dir)
{
    std::lock_guard<std::mutex> lock(listingMutex);
    auto it = listings.find(dir);
    if (it == listings.end() || it->second.next >= it->second.nodes.size()) {
        return nullptr;
    }
    Listing& l = it->second;
    const int node = l.nodes[l.next++];
    l.entry = dirent64{};
    l.entry.d_ino = 1000 + uint64_t(node);
    l.entry.d_reclen = sizeof l.entry;
    l.entry.d_type = DT_CHR;
    snprintf(l.entry.d_name, sizeof l.entry.d_name, "video%d", node);
    return &l.entry;
}

// Children (the audio server, helpers) run without this library unless a
// caller asks for it: they have no business with the cameras.
__attribute__((constructor)) void keepToThisProcess()
{
    if (!getenv("UVCDEV_KEEP_PRELOAD")) {
        unsetenv("LD_PRELOAD");
    }
}

} // namespace

EXPORT int open(const char* path, int flags, ...)
{
    REAL(open);
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? mode_t(va_arg(args, int)) : 0;
    va_end(args);
    return openPath(path, flags, [&](const char* p) { return real(p, flags, mode); });
}

EXPORT int open64(const char* path, int flags, ...)
{
    REAL(open64);
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? mode_t(va_arg(args, int)) : 0;
    va_end(args);
    return openPath(path, flags, [&](const char* p) { return real(p, flags, mode); });
}

EXPORT int openat(int dir, const char* path, int flags, ...)
{
    REAL(openat);
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? mode_t(va_arg(args, int)) : 0;
    va_end(args);
    return openPath(path, flags, [&](const char* p) { return real(dir, p, flags, mode); });
}

EXPORT int __open_2(const char* path, int flags)
{
    static const auto real =
        reinterpret_cast<int (*)(const char*, int)>(dlsym(RTLD_NEXT, "__open_2"));
    return openPath(path, flags, [&](const char* p) { return real(p, flags); });
}

EXPORT int __open64_2(const char* path, int flags)
{
    static const auto real =
        reinterpret_cast<int (*)(const char*, int)>(dlsym(RTLD_NEXT, "__open64_2"));
    return openPath(path, flags, [&](const char* p) { return real(p, flags); });
}

EXPORT FILE* fopen(const char* path, const char* mode)
{
    REAL(fopen);
    std::string buffer;
    return real(mapped(path, buffer), mode);
}

EXPORT int close(int fd)
{
    REAL(close);
    if (uvcDevicesActive) {
        devices().close(fd);
    }
    return real(fd);
}

EXPORT int ioctl(int fd, unsigned long request, ...) noexcept
{
    REAL(ioctl);
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (uvcDevicesActive) {
        const int result = devices().ioctl(fd, request, arg);
        if (result != 1) {
            return result < 0 ? failWith(-result) : result;
        }
    }
    return real(fd, request, arg);
}

EXPORT int stat(const char* path, struct stat* st) noexcept
{
    REAL(stat);
    return statPath(path, st, [&](const char* p) { return real(p, st); });
}

EXPORT int stat64(const char* path, struct stat64* st) noexcept
{
    REAL(stat64);
    return statPath(path, st, [&](const char* p) { return real(p, st); });
}

EXPORT int lstat(const char* path, struct stat* st) noexcept
{
    REAL(lstat);
    return statPath(path, st, [&](const char* p) { return real(p, st); });
}

EXPORT int lstat64(const char* path, struct stat64* st) noexcept
{
    REAL(lstat64);
    return statPath(path, st, [&](const char* p) { return real(p, st); });
}

EXPORT int statx(int dir, const char* path, int flags, unsigned mask, struct statx* st) noexcept
{
    REAL(statx);
    const int node = UvcDevices::nodeNumber(path);
    struct stat s;
    if (node < 0 || nodeStat(node, &s) < 0) {
        std::string buffer;
        return node >= 0 ? -1 : real(dir, mapped(path, buffer), flags, mask, st);
    }
    std::memset(st, 0, sizeof *st);
    st->stx_mask = STATX_BASIC_STATS;
    st->stx_mode = uint16_t(s.st_mode);
    st->stx_ino = s.st_ino;
    st->stx_nlink = 1;
    st->stx_blksize = 4096;
    st->stx_rdev_major = 81;
    st->stx_rdev_minor = uint32_t(node);
    st->stx_dev_minor = 5;
    st->stx_ctime = st->stx_mtime = st->stx_atime =
        statx_timestamp{s.st_ctim.tv_sec, uint32_t(s.st_ctim.tv_nsec), 0};
    return 0;
}

EXPORT int access(const char* path, int mode) noexcept
{
    REAL(access);
    struct stat s;
    const int node = UvcDevices::nodeNumber(path);
    std::string buffer;
    return node >= 0 ? nodeStat(node, &s) : real(mapped(path, buffer), mode);
}

EXPORT ssize_t readlink(const char* path, char* target, size_t size) noexcept
{
    REAL(readlink);
    std::string buffer;
    return UvcDevices::nodeNumber(path) >= 0 ? failWith(EINVAL)
                                             : real(mapped(path, buffer), target, size);
}

EXPORT char* realpath(const char* path, char* resolved) noexcept
{
    REAL(realpath);
    struct stat s;
    const int node = UvcDevices::nodeNumber(path);
    if (node >= 0) {
        if (nodeStat(node, &s) < 0) {
            return nullptr;
        }
        return resolved ? std::strcpy(resolved, path) : strdup(path);
    }
    std::string buffer;
    char* r = real(mapped(path, buffer), resolved);
    // Callers see the sysfs paths, never the folder behind them.
    const std::string& root = UvcDevices::isSysfsPath(path) ? devices().root() : std::string();
    if (r && !root.empty() && std::strncmp(r, root.c_str(), root.size()) == 0) {
        std::memmove(r, r + root.size(), std::strlen(r) - root.size() + 1);
    }
    return r;
}

EXPORT char* canonicalize_file_name(const char* path) noexcept
{
    return realpath(path, nullptr);
}

EXPORT DIR* opendir(const char* path)
{
    REAL(opendir);
    std::string buffer;
    DIR* dir = real(mapped(path, buffer));
    if (dir && (std::strcmp(path, "/dev") == 0 || std::strcmp(path, "/dev/") == 0)) {
        std::vector<int> nodes = devices().nodes();
        std::lock_guard<std::mutex> lock(listingMutex);
        listings[dir].nodes = std::move(nodes);
    }
    return dir;
}

EXPORT dirent64* readdir64(DIR* dir)
{
    REAL(readdir64);
    dirent64* entry = real(dir);
    return entry || !uvcDevicesActive ? entry : nextNode(dir);
}

EXPORT dirent* readdir(DIR* dir)
{
    REAL(readdir);
    dirent* entry = real(dir);
    static_assert(sizeof(dirent) == sizeof(dirent64), "one layout on this platform");
    return entry || !uvcDevicesActive ? entry : reinterpret_cast<dirent*>(nextNode(dir));
}

EXPORT int closedir(DIR* dir)
{
    REAL(closedir);
    {
        std::lock_guard<std::mutex> lock(listingMutex);
        listings.erase(dir);
    }
    return real(dir);
}

EXPORT int poll(pollfd* fds, nfds_t count, int timeoutMs)
{
    REAL(poll);
    bool ours = false;
    for (nfds_t i = 0; uvcDevicesActive && i < count; ++i) {
        ours = ours || devices().isHandle(fds[i].fd);
    }
    if (!ours) {
        return real(fds, count, timeoutMs);
    }
    // The nodes answer from the model; the other descriptors are polled for
    // as long as the nodes have nothing, in slices up to the next frame.
    timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    std::vector<pollfd> others(fds, fds + count);
    for (;;) {
        int ready = 0;
        int64_t soonestNs = 20000000;
        for (nfds_t i = 0; i < count; ++i) {
            int64_t inNs = soonestNs;
            const int mask = devices().pollMask(fds[i].fd, &inNs);
            if (mask >= 0) {
                others[i].fd = -1;
                fds[i].revents = short(mask & (fds[i].events | POLLERR | POLLHUP));
                ready += fds[i].revents != 0;
                soonestNs = std::clamp<int64_t>(inNs, 0, soonestNs);
            }
        }
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        const int64_t spentMs =
            (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
        int waitMs = ready ? 0 : int((soonestNs + 999999) / 1000000);
        if (timeoutMs >= 0) {
            waitMs = int(std::clamp<int64_t>(timeoutMs - spentMs, 0, waitMs));
        }
        const int r = real(others.data(), count, waitMs);
        if (r < 0) {
            return r;
        }
        for (nfds_t i = 0; i < count; ++i) {
            if (others[i].fd >= 0) {
                fds[i].revents = others[i].revents;
                ready += fds[i].revents != 0;
            }
        }
        if (ready || (timeoutMs >= 0 && spentMs >= timeoutMs)) {
            return ready;
        }
    }
}

EXPORT int select(int count, fd_set* readable, fd_set* writable, fd_set* failed, timeval* timeout)
{
    REAL(select);
    std::vector<pollfd> fds;
    bool ours = false;
    for (int fd = 0; fd < count; ++fd) {
        const short events = short((readable && FD_ISSET(fd, readable) ? POLLIN : 0) |
                                   (writable && FD_ISSET(fd, writable) ? POLLOUT : 0) |
                                   (failed && FD_ISSET(fd, failed) ? POLLPRI : 0));
        if (events) {
            fds.push_back({fd, events, 0});
            ours = ours || (uvcDevicesActive && devices().isHandle(fd));
        }
    }
    if (!ours) {
        return real(count, readable, writable, failed, timeout);
    }
    const int ms = timeout ? int(timeout->tv_sec * 1000 + timeout->tv_usec / 1000) : -1;
    if (poll(fds.data(), fds.size(), ms) < 0) {
        return -1;
    }
    int ready = 0;
    for (fd_set* set : {readable, writable, failed}) {
        if (set) {
            FD_ZERO(set);
        }
    }
    for (const pollfd& p : fds) {
        const bool error = p.revents & (POLLERR | POLLHUP);
        const std::pair<fd_set*, bool> results[] = {{readable, (p.revents & POLLIN) || error},
                                                    {writable, (p.revents & POLLOUT) || error},
                                                    {failed, (p.revents & POLLPRI) != 0}};
        for (const auto& [set, hit] : results) {
            if (set && hit &&
                (p.events & (set == readable   ? POLLIN
                             : set == writable ? POLLOUT
                                               : POLLPRI))) {
                FD_SET(p.fd, set);
                ++ready;
            }
        }
    }
    return ready;
}

EXPORT int uvcdev_plug(const char* specification)
{
    return devices().plug(specification);
}

EXPORT int uvcdev_unplug(int node)
{
    return devices().unplug(node);
}

EXPORT char* uvcdev_take_log()
{
    return strdup(devices().takeLog().c_str());
}

EXPORT int uvcdev_streaming_handles()
{
    return devices().streamingHandles();
}

EXPORT int64_t uvcdev_picture_time(int picture)
{
    return devices().pictureTime(picture);
}
