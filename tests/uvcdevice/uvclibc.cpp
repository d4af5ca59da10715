// The C library entry points through which clients reach a node or its sysfs
// entries: the program, Qt and FFmpeg, and the standard tools of the release.
#include "uvcdeviceinternal.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

using namespace uvcdev;

#define REAL(name)                                                                                 \
    static const auto real = reinterpret_cast<decltype(&::name)>(dlsym(RTLD_NEXT, #name))

namespace {

int failWith(int error)
{
    errno = error;
    return -1;
}

// Where the sysfs entries of the nodes really are; valid until the thread's next call.
const char* mapped(const char* path)
{
    thread_local std::string buffer;
    if (!path || (std::strncmp(path, "/sys/class/video4linux/", 23) != 0 &&
                  std::strncmp(path, "/sys/devices/platform/uvcdev/", 29) != 0 &&
                  std::strncmp(path, "/sys/dev/char/81:", 17) != 0))
        return path;
    buffer = devices().root + path;
    return buffer.c_str();
}

// The folder an open descriptor names, as /proc tells.
std::string folderOf(int fd)
{
    char folder[4096];
    const ssize_t n =
        readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), folder, sizeof folder);
    return n > 0 ? std::string(folder, size_t(n)) : std::string();
}

// The node a call names: /dev/videoN, also relative to an open /dev, or a
// node's descriptor with AT_EMPTY_PATH; -1 for anything else.
int nodeAt(int dirfd, const char* path, int flags = 0)
{
    if (path && !*path && (flags & AT_EMPTY_PATH) && active) {
        auto [d, lock] = locked();
        auto it = d.handles.find(dirfd);
        return it == d.handles.end() ? -1 : it->second.camera->node + it->second.metadata;
    }
    if (path && dirfd != AT_FDCWD && std::strncmp(path, "video", 5) == 0)
        return nodeAt(AT_FDCWD, (folderOf(dirfd) + '/' + path).c_str());
    int node = -1, end = 0;
    return path && sscanf(path, "/dev/video%d%n", &node, &end) == 1 && !path[end] ? node : -1;
}

int openNode(int node, int flags)
{
    auto [d, lock] = locked();
    auto c = cameraOfNode(d, node);
    if (!c)
        return failWith(ENOENT);
    const int fd = memfd_create("uvcdev", (flags & O_CLOEXEC) ? MFD_CLOEXEC : 0);
    if (fd >= 0)
        d.handles[fd] = Handle{c, c->node != node, (flags & O_NONBLOCK) != 0, {}, {}};
    return fd;
}

int nodeStat(int node, struct stat* st)
{
    auto [d, lock] = locked();
    auto c = cameraOfNode(d, node);
    if (!c)
        return failWith(ENOENT);
    *st = {};
    std::tie(st->st_mode, st->st_rdev, st->st_ino, st->st_nlink) =
        std::make_tuple(S_IFCHR | 0660, makedev(81, node), 1000 + node, 1);
    st->st_ctim = st->st_mtim = st->st_atim =
        timespec{c->pluggedAtNs / 1000000000, c->pluggedAtNs % 1000000000};
    return 0;
}

// The 64-bit variants of the calls take the same structures on this platform.
static_assert(sizeof(struct stat) == sizeof(struct stat64) && sizeof(dirent) == sizeof(dirent64));

// A listing of /dev gets the nodes after the real entries; the DIR of any
// other listing may have been one of /dev before.
DIR* listed(DIR* dir, const std::string& path)
{
    if (!dir || !active)
        return dir;
    auto [d, lock] = locked();
    std::deque<int>& nodes = d.listings[dir] = {};
    for (const auto& c : d.cameras) {
        if (c->plugged && (path == "/dev" || path == "/dev/"))
            nodes.insert(nodes.end(), {c->node, c->node + 1});
    }
    return dir;
}

dirent64* nextNode(DIR* dir)
{
    auto [d, lock] = locked();
    auto it = d.listings.find(dir);
    if (it == d.listings.end() || it->second.empty())
        return nullptr;
    thread_local dirent64 node; // the caller's until its next read
    node = dirent64{1000 + uint64_t(it->second.front()), 0, sizeof node, DT_CHR, {}};
    snprintf(node.d_name, sizeof node.d_name, "video%d", it->second.front());
    it->second.pop_front();
    return &node;
}

// Children (the audio server, helpers) run without this library unless a
// caller asks for it: they have no business with the cameras.
__attribute__((constructor)) void keepToThisProcess()
{
    if (!getenv("UVCDEV_KEEP_PRELOAD"))
        unsetenv("LD_PRELOAD");
}

} // namespace

// The C library, as the program, Qt, FFmpeg and the standard tools call it

#define MODE_ARGUMENT(flags)                                                                       \
    va_list args;                                                                                  \
    va_start(args, flags);                                                                         \
    const bool given = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;                      \
    const mode_t mode = given ? mode_t(va_arg(args, int)) : 0;                                     \
    va_end(args)
// Every open goes to openat: the node, or the path with the sysfs entries mapped.
#define OPEN_CALLS(bits)                                                                           \
    UVCDEV_API int openat##bits(int dirfd, const char* path, int flags, ...)                       \
    {                                                                                              \
        REAL(openat##bits);                                                                        \
        MODE_ARGUMENT(flags);                                                                      \
        const int node = nodeAt(dirfd, path);                                                      \
        return node >= 0 ? openNode(node, flags) : real(dirfd, mapped(path), flags, mode);         \
    }                                                                                              \
    UVCDEV_API int open##bits(const char* path, int flags, ...)                                    \
    {                                                                                              \
        MODE_ARGUMENT(flags);                                                                      \
        return openat##bits(AT_FDCWD, path, flags, mode);                                          \
    }                                                                                              \
    /* The calls of programs built with _FORTIFY_SOURCE, when the flags are not constant. */       \
    UVCDEV_API int __open##bits##_2(const char* path, int flags)                                   \
    {                                                                                              \
        return openat##bits(AT_FDCWD, path, flags);                                                \
    }                                                                                              \
    UVCDEV_API int __openat##bits##_2(int dirfd, const char* path, int flags)                      \
    {                                                                                              \
        return openat##bits(dirfd, path, flags);                                                   \
    }
OPEN_CALLS()
OPEN_CALLS(64)

UVCDEV_API int close(int fd)
{
    REAL(close);
    if (active) {
        auto [d, lock] = locked();
        auto it = d.handles.find(fd);
        if (it != d.handles.end() && it->second.camera->owner == fd)
            releaseStream(*it->second.camera);
        if (it != d.handles.end())
            d.handles.erase(it);
    }
    return real(fd);
}

UVCDEV_API int ioctl(int fd, unsigned long request, ...) noexcept
{
    REAL(ioctl);
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    const int result = active ? nodeIoctl(fd, request, arg) : 1;
    return result == 1 ? real(fd, request, arg) : result < 0 ? failWith(-result) : result;
}

// A node's descriptor is a memfd underneath; it answers as the node.
#define STAT_CALLS(bits)                                                                           \
    UVCDEV_API int fstatat##bits(int dirfd, const char* path, struct stat##bits* st,               \
                                 int flags) noexcept                                               \
    {                                                                                              \
        REAL(fstatat##bits);                                                                       \
        const int node = nodeAt(dirfd, path, flags);                                               \
        return node >= 0 ? nodeStat(node, reinterpret_cast<struct stat*>(st))                      \
                         : real(dirfd, mapped(path), st, flags);                                   \
    }                                                                                              \
    UVCDEV_API int stat##bits(const char* path, struct stat##bits* st) noexcept                    \
    {                                                                                              \
        return fstatat##bits(AT_FDCWD, path, st, 0);                                               \
    }                                                                                              \
    UVCDEV_API int lstat##bits(const char* path, struct stat##bits* st) noexcept                   \
    {                                                                                              \
        return fstatat##bits(AT_FDCWD, path, st, AT_SYMLINK_NOFOLLOW);                             \
    }                                                                                              \
    UVCDEV_API int fstat##bits(int fd, struct stat##bits* st) noexcept                             \
    {                                                                                              \
        return fstatat##bits(fd, "", st, AT_EMPTY_PATH);                                           \
    }
STAT_CALLS()
STAT_CALLS(64)

UVCDEV_API int statx(int dirfd, const char* path, int flags, unsigned mask,
                     struct statx* sx) noexcept
{
    REAL(statx);
    struct stat st;
    const int node = nodeAt(dirfd, path, flags);
    if (node < 0 || nodeStat(node, &st) < 0)
        return node < 0 ? real(dirfd, mapped(path), flags, mask, sx) : -1;
    *sx = {};
    std::tie(sx->stx_mask, sx->stx_mode, sx->stx_ino, sx->stx_nlink, sx->stx_blksize) =
        std::make_tuple(STATX_BASIC_STATS, uint16_t(st.st_mode), st.st_ino, 1, 4096);
    std::tie(sx->stx_rdev_major, sx->stx_rdev_minor) = std::make_pair(81, node);
    sx->stx_atime = sx->stx_mtime =
        sx->stx_ctime = {st.st_mtim.tv_sec, uint32_t(st.st_mtim.tv_nsec), 0};
    return 0;
}

// Nodes among the descriptors are answered here, the others by the real poll
// in slices that end when a node's next picture is due. Sets without a node
// (the event loops' own) go straight to the real poll.
UVCDEV_API int poll(pollfd* fds, nfds_t count, int timeoutMs)
{
    REAL(poll);
    const auto isNode = [&](const pollfd& p) { return locked().first.handles.count(p.fd) > 0; };
    if (!active || std::none_of(fds, fds + count, isNode))
        return real(fds, count, timeoutMs);
    const int64_t end = clockNs(CLOCK_MONOTONIC) + int64_t(timeoutMs) * 1000000;
    std::vector<pollfd> others(fds, fds + count);
    for (;;) {
        int ready = 0;
        int64_t now = clockNs(CLOCK_MONOTONIC), due = timeoutMs < 0 ? INT64_MAX : end;
        {
            auto [d, lock] = locked();
            for (nfds_t i = 0; i < count; ++i) {
                auto it = d.handles.find(fds[i].fd);
                if (it == d.handles.end())
                    continue;
                others[i].fd = -1; // the real poll skips it
                fds[i].revents = nodeEvents(it->second, fds[i].fd, now, fds[i].events) &
                                 (fds[i].events | POLLERR | POLLHUP);
                ready += fds[i].revents != 0;
                if (it->second.camera->streaming)
                    due = std::min(due, it->second.camera->dueNs());
            }
        }
        // A node that is ready only has the others looked at, without waiting.
        const int slice = ready ? 0
                          : due == INT64_MAX
                              ? -1
                              : int((std::max<int64_t>(0, due - now) + 999999) / 1000000);
        const int result = real(others.data(), count, slice);
        if (result < 0)
            return result;
        for (nfds_t i = 0; i < count; ++i)
            if (others[i].fd >= 0)
                fds[i].revents = others[i].revents;
        if (ready + result > 0 || (timeoutMs >= 0 && clockNs(CLOCK_MONOTONIC) >= end))
            return ready + result;
    }
}

// Event loops built to wait in ppoll (Qt where the C library has it) reach
// the nodes they watch, such as a control-event handle, as poll does; the
// signal mask only matters to sets without a node, which go to the real one.
UVCDEV_API int ppoll(pollfd* fds, nfds_t count, const timespec* timeout, const sigset_t* mask)
{
    REAL(ppoll);
    const auto isNode = [&](const pollfd& p) { return locked().first.handles.count(p.fd) > 0; };
    if (!active || std::none_of(fds, fds + count, isNode))
        return real(fds, count, timeout, mask);
    const int64_t ms =
        timeout ? timeout->tv_sec * 1000 + (timeout->tv_nsec + 999999) / 1000000 : -1;
    return poll(fds, count, int(std::min<int64_t>(ms, INT32_MAX)));
}

// Standard streams (fopen, std::ifstream) read sysfs too.
#define FOPEN_CALL(name)                                                                           \
    UVCDEV_API FILE* name(const char* path, const char* mode)                                      \
    {                                                                                              \
        REAL(name);                                                                                \
        return real(mapped(path), mode);                                                           \
    }
FOPEN_CALL(fopen)
FOPEN_CALL(fopen64)

UVCDEV_API int faccessat(int dirfd, const char* path, int mode, int flags) noexcept
{
    REAL(faccessat);
    struct stat st;
    const int node = nodeAt(dirfd, path, flags);
    return node >= 0 ? nodeStat(node, &st) : real(dirfd, mapped(path), mode, flags);
}

UVCDEV_API int access(const char* path, int mode) noexcept
{
    return faccessat(AT_FDCWD, path, mode, 0);
}

UVCDEV_API ssize_t readlinkat(int dirfd, const char* path, char* buffer, size_t size) noexcept
{
    REAL(readlinkat); // a node is no link
    return nodeAt(dirfd, path) >= 0 ? failWith(EINVAL) : real(dirfd, mapped(path), buffer, size);
}

UVCDEV_API ssize_t readlink(const char* path, char* buffer, size_t size) noexcept
{
    return readlinkat(AT_FDCWD, path, buffer, size);
}

UVCDEV_API char* realpath(const char* path, char* resolved) noexcept
{
    REAL(realpath);
    if (nodeAt(AT_FDCWD, path) >= 0)
        return access(path, F_OK) < 0 ? nullptr
               : resolved             ? std::strcpy(resolved, path)
                                      : strdup(path);
    const char* target = mapped(path);
    char* r = real(target, resolved);
    // Callers see the sysfs paths, never the folder behind them.
    const size_t cut = target != path ? devices().root.size() : 0;
    if (r && cut && std::strncmp(r, devices().root.c_str(), cut) == 0)
        std::memmove(r, r + cut, std::strlen(r) - cut + 1);
    return r;
}

UVCDEV_API DIR* opendir(const char* path)
{
    REAL(opendir);
    return listed(real(mapped(path)), path);
}

UVCDEV_API DIR* fdopendir(int fd)
{
    REAL(fdopendir);
    return listed(real(fd), folderOf(fd));
}

UVCDEV_API dirent64* readdir64(DIR* dir)
{
    REAL(readdir64);
    dirent64* entry = real(dir);
    return entry || !active ? entry : nextNode(dir);
}

UVCDEV_API dirent* readdir(DIR* dir)
{
    REAL(readdir);
    dirent* entry = real(dir);
    return entry || !active ? entry : reinterpret_cast<dirent*>(nextNode(dir));
}
