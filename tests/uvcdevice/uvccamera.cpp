#include "uvccamera.h"

#include "uvcpictures.h"

#include <fcntl.h>
#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct Mode
{
    uint32_t fourcc;
    int width;
    int height;
    std::vector<uint32_t> intervals; // 100 ns units, fastest first
};

// As PTZ conference cameras list them: fast modes only in MJPEG.
const std::vector<Mode>& modes(bool yuyvOnly)
{
    static const std::vector<Mode> all = {
        {V4L2_PIX_FMT_MJPEG, 1280, 720, {333333, 400000, 666666}},
        {V4L2_PIX_FMT_MJPEG, 1920, 1080, {333333}},
        {V4L2_PIX_FMT_YUYV, 1280, 720, {1000000}},
        {V4L2_PIX_FMT_YUYV, 640, 480, {333333}},
    };
    static const std::vector<Mode> yuyv(all.begin() + 2, all.end());
    return yuyvOnly ? yuyv : all;
}

std::vector<uint32_t> formats(bool yuyvOnly)
{
    std::vector<uint32_t> list;
    for (const Mode& m : modes(yuyvOnly)) {
        if (std::find(list.begin(), list.end(), m.fourcc) == list.end()) {
            list.push_back(m.fourcc);
        }
    }
    return list;
}

const Mode* findMode(const UvcCamera& c, uint32_t fourcc, int w, int h)
{
    for (const Mode& m : modes(c.yuyvOnly)) {
        if (m.fourcc == fourcc && m.width == w && m.height == h) {
            return &m;
        }
    }
    return nullptr;
}

uint32_t nearest(const std::vector<uint32_t>& list, uint32_t wanted)
{
    return *std::min_element(list.begin(), list.end(), [wanted](uint32_t a, uint32_t b) {
        return std::llabs(int64_t(a) - wanted) < std::llabs(int64_t(b) - wanted);
    });
}

int64_t clockNs(clockid_t clock)
{
    timespec t;
    clock_gettime(clock, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

uint32_t imageSize(const UvcCamera& c)
{
    return uint32_t(c.width * c.height * 2);
}

void fillPix(const UvcCamera& c, v4l2_pix_format* pix)
{
    std::memset(pix, 0, sizeof *pix);
    pix->width = uint32_t(c.width);
    pix->height = uint32_t(c.height);
    pix->pixelformat = c.fourcc;
    pix->field = V4L2_FIELD_NONE;
    pix->bytesperline = c.fourcc == V4L2_PIX_FMT_YUYV ? uint32_t(c.width * 2) : 0;
    pix->sizeimage = imageSize(c);
    pix->colorspace = V4L2_COLORSPACE_SRGB;
}

std::string usbGuid(const QUuid& g)
{
    std::string b;
    for (int i = 0; i < 4; ++i) {
        b.push_back(char(g.data1 >> (8 * i)));
    }
    b += {char(g.data2), char(g.data2 >> 8), char(g.data3), char(g.data3 >> 8)};
    b.append(reinterpret_cast<const char*>(g.data4), 8);
    return b;
}

// Device descriptor, then the configuration with its video function, as
// the interface's parent folder in sysfs hands them out.
std::string descriptors(const UvcCamera& c)
{
    std::string d;
    auto add = [&d](std::initializer_list<int> bytes) {
        for (int b : bytes) {
            d.push_back(char(b));
        }
    };
    add({18, 1, 0x00, 0x02, 0xEF, 0x02, 0x01, 64, 0x4C, 0x7A, 0x01, 0x00, 0x00, 0x01, 1, 2, 0, 1});
    const size_t config = d.size();
    add({9, 2, 0, 0, 2, 1, 0, 0x80, 250});
    add({8, 0x0B, 0, 2, 0x0E, 0x03, 0x00, 0});                             // interface association
    add({9, 4, 0, 0, 1, 0x0E, 0x01, 0x00, 0});                             // VideoControl interface
    add({13, 0x24, 0x01, 0x00, 0x01, 0, 0, 0x80, 0x8D, 0x5B, 0x00, 1, 1}); // header
    add({18, 0x24, 0x02, 1, 0x01, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0x0A, 0x00, 0x02}); // camera
    for (const auto& [id, guid] : {std::make_pair(c.mainUnit, SimulatedExtensionUnits::MainUnit),
                                   std::make_pair(c.zoomUnit, SimulatedExtensionUnits::ZoomUnit)}) {
        add({27, 0x24, 0x06, id});
        d += usbGuid(guid);
        add({24, 1, 1, 2, 0xFF, 0xFF, 0});
    }
    add({9, 0x24, 0x03, 3, 0x01, 0x01, 0, 1, 0}); // output terminal
    add({9, 4, 1, 0, 0, 0x0E, 0x02, 0x00, 0});    // VideoStreaming interface
    d[config + 2] = char((d.size() - config) & 0xFF);
    d[config + 3] = char((d.size() - config) >> 8);
    return d;
}

void writeFile(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

const char* queryName(int query)
{
    switch (query) {
    case UVC_GET_INFO:
        return "GET_INFO";
    case UVC_GET_LEN:
        return "GET_LEN";
    case UVC_GET_CUR:
        return "GET_CUR";
    case UVC_SET_CUR:
        return "SET_CUR";
    default:
        return "OTHER";
    }
}

} // namespace

UvcDevices& UvcDevices::instance()
{
    // Never destroyed: threads of the process may still close handles
    // while it exits.
    static UvcDevices* devices = new UvcDevices;
    return *devices;
}

UvcDevices::UvcDevices()
{
    const char* root = getenv("UVCDEV_ROOT");
    const char* tmp = getenv("TMPDIR");
    m_root = root ? root : std::string(tmp ? tmp : "/tmp") + "/uvcdev-" + std::to_string(getpid());
    fs::remove_all(m_root);
    static const std::string folder = m_root;
    atexit([] {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    });
    uvcDevicesActive = true;
    std::string cameras = getenv("UVCDEV_CAMERAS") ? getenv("UVCDEV_CAMERAS") : "";
    for (size_t at = 0; at < cameras.size();) {
        const size_t end = std::min(cameras.find(';', at), cameras.size());
        plug(cameras.substr(at, end - at));
        at = end + 1;
    }
}

int UvcDevices::plug(const std::string& specification)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto c = std::make_shared<UvcCamera>();
    const size_t bar = specification.find('|'), bar2 = specification.find('|', bar + 1);
    c->name = specification.substr(0, bar);
    if (bar != std::string::npos) {
        c->yuyvOnly = specification.compare(bar + 1, bar2 - bar - 1, "yuyv") == 0;
    }
    if (bar2 != std::string::npos &&
        sscanf(specification.c_str() + bar2 + 1, "%d,%d", &c->mainUnit, &c->zoomUnit) != 2) {
        return -1;
    }
    c->node = m_nextNode;
    m_nextNode += 2;
    c->port = m_nextPort++;
    c->pluggedAtNs = clockNs(CLOCK_REALTIME);
    SimulatedCameraConfig config;
    config.description = QString::fromStdString(c->name);
    c->model =
        std::make_shared<SimulatedCamera>(QStringLiteral("/dev/video%1").arg(c->node), config);
    c->model->modifyControlConfig([&](SimulatedControlConfig& cc) {
        cc.mainUnitNode = c->mainUnit;
        cc.zoomUnitNode = c->zoomUnit;
    });
    c->units = std::make_unique<SimulatedExtensionUnits>(*c->model);
    c->controls = std::make_unique<SimulatedStandardControls>(*c->model);
    const Mode& first = modes(c->yuyvOnly).front();
    c->fourcc = first.fourcc;
    c->width = first.width;
    c->height = first.height;
    c->interval100ns = first.intervals.front();
    writeSysfs(*c);
    m_cameras.push_back(c);
    note("plug video%d", c->node);
    return c->node;
}

int UvcDevices::unplug(int node)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    bool metadata = false;
    auto c = cameraOfNode(node, &metadata);
    if (!c || metadata) {
        return -1;
    }
    c->plugged = false;
    removeSysfs(*c);
    note("unplug video%d", node);
    return 0;
}

void UvcDevices::writeSysfs(const UvcCamera& c)
{
    const std::string usb = "/sys/devices/platform/uvcdev/usb9/9-" + std::to_string(c.port);
    const std::string interface = usb + "/9-" + std::to_string(c.port) + ":1.0";
    fs::create_directories(m_root + interface);
    writeFile(m_root + usb + "/descriptors", descriptors(c));
    writeFile(m_root + usb + "/bConfigurationValue", "1\n");
    writeFile(m_root + usb + "/product", c.name + "\n");
    writeFile(m_root + interface + "/bInterfaceNumber", "00\n");
    for (int index = 0; index < 2; ++index) {
        const std::string dir =
            m_root + "/sys/class/video4linux/video" + std::to_string(c.node + index);
        fs::create_directories(dir);
        writeFile(dir + "/name", c.name + "\n");
        writeFile(dir + "/index", std::to_string(index) + "\n");
        writeFile(dir + "/dev", "81:" + std::to_string(c.node + index) + "\n");
        fs::create_symlink("../../.." + interface.substr(4), dir + "/device");
    }
}

void UvcDevices::removeSysfs(const UvcCamera& c)
{
    std::error_code ignored;
    for (int index = 0; index < 2; ++index) {
        fs::remove_all(m_root + "/sys/class/video4linux/video" + std::to_string(c.node + index),
                       ignored);
    }
    fs::remove_all(m_root + "/sys/devices/platform/uvcdev/usb9/9-" + std::to_string(c.port),
                   ignored);
}

void UvcDevices::note(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    m_log += line;
    m_log += '\n';
}

std::string UvcDevices::takeLog()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    std::string log;
    log.swap(m_log);
    return log;
}

int64_t UvcDevices::pictureTime(int picture)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = m_pictureTimes.find(picture);
    return it == m_pictureTimes.end() ? -1 : it->second;
}

int UvcDevices::nodeNumber(const char* path)
{
    if (!path || std::strncmp(path, "/dev/video", 10) != 0 || !path[10]) {
        return -1;
    }
    for (const char* p = path + 10; *p; ++p) {
        if (*p < '0' || *p > '9') {
            return -1;
        }
    }
    return atoi(path + 10);
}

bool UvcDevices::isSysfsPath(const char* path)
{
    return path && (std::strncmp(path, "/sys/class/video4linux/", 23) == 0 ||
                    std::strncmp(path, "/sys/devices/platform/uvcdev/", 29) == 0);
}

std::shared_ptr<UvcCamera> UvcDevices::cameraOfNode(int node, bool* metadata)
{
    for (const auto& c : m_cameras) {
        if (c->plugged && (c->node == node || c->node + 1 == node)) {
            *metadata = c->node != node;
            return c;
        }
    }
    return nullptr;
}

std::vector<int> UvcDevices::nodes()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    std::vector<int> list;
    for (const auto& c : m_cameras) {
        if (c->plugged) {
            list.insert(list.end(), {c->node, c->node + 1});
        }
    }
    return list;
}

bool UvcDevices::nodeIdentity(int node, uint64_t* inode, int64_t* changedNs)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    bool metadata = false;
    auto c = cameraOfNode(node, &metadata);
    if (!c) {
        return false;
    }
    *inode = 1000 + uint64_t(node);
    *changedNs = c->pluggedAtNs;
    return true;
}

int UvcDevices::open(int node, int flags)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    bool metadata = false;
    auto c = cameraOfNode(node, &metadata);
    if (!c) {
        return -ENOENT;
    }
    // A memfd: a real descriptor that close, dup and mmap of the buffers work on.
    const int fd = memfd_create("uvcdev", (flags & O_CLOEXEC) ? MFD_CLOEXEC : 0);
    if (fd < 0) {
        return -errno;
    }
    m_handles[fd] = Handle{c, metadata, (flags & O_NONBLOCK) != 0};
    return fd;
}

bool UvcDevices::isHandle(int fd)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return m_handles.count(fd) != 0;
}

int UvcDevices::streamingHandles()
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    return int(std::count_if(m_cameras.begin(), m_cameras.end(),
                             [](const auto& c) { return c->owner != -1; }));
}

void UvcDevices::release(UvcCamera& c)
{
    if (c.map) {
        munmap(c.map, c.buffers.size() * c.bufferLength);
    }
    c.map = nullptr;
    c.buffers.clear();
    c.queued.clear();
    c.done.clear();
    c.streaming = false;
    c.owner = -1;
}

void UvcDevices::close(int fd)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = m_handles.find(fd);
    if (it == m_handles.end()) {
        return;
    }
    if (it->second.camera->owner == fd) {
        release(*it->second.camera);
    }
    m_handles.erase(it);
}

int UvcDevices::pollMask(int fd, int64_t* readyInNs)
{
    std::lock_guard<std::recursive_mutex> lock(m_mutex);
    auto it = m_handles.find(fd);
    if (it == m_handles.end()) {
        return -1;
    }
    UvcCamera& c = *it->second.camera;
    if (!c.plugged) {
        return POLLERR | POLLHUP | POLLPRI;
    }
    if (!c.streaming || c.owner != fd) {
        return POLLERR;
    }
    const int64_t now = clockNs(CLOCK_MONOTONIC);
    advance(c, now);
    *readyInNs = c.startNs + c.nextFrame * int64_t(c.interval100ns) * 100 - now;
    return c.done.empty() ? 0 : POLLIN | POLLRDNORM;
}

int UvcDevices::ioctl(int fd, unsigned long request, void* arg)
{
    std::unique_lock<std::recursive_mutex> lock(m_mutex);
    auto it = m_handles.find(fd);
    if (it == m_handles.end()) {
        return 1;
    }
    Handle& handle = it->second;
    if (!handle.camera->plugged) {
        return -ENODEV;
    }
    if (request == VIDIOC_QUERYCAP) {
        auto* cap = static_cast<v4l2_capability*>(arg);
        std::memset(cap, 0, sizeof *cap);
        std::strncpy(reinterpret_cast<char*>(cap->driver), "uvcvideo", sizeof cap->driver - 1);
        std::strncpy(reinterpret_cast<char*>(cap->card), handle.camera->name.c_str(),
                     sizeof cap->card - 1);
        snprintf(reinterpret_cast<char*>(cap->bus_info), sizeof cap->bus_info,
                 "usb-0000:00:14.0-%d", handle.camera->port);
        cap->version = 0x060100;
        cap->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING |
                            V4L2_CAP_EXT_PIX_FORMAT | V4L2_CAP_DEVICE_CAPS;
        cap->device_caps = (handle.metadata ? V4L2_CAP_META_CAPTURE : V4L2_CAP_VIDEO_CAPTURE) |
                           V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT;
        return 0;
    }
    if (handle.metadata) {
        return -ENOTTY; // its metadata format is of no interest here
    }
    if (request == VIDIOC_DQBUF) {
        Handle held = handle; // the entry may go while the dequeue waits
        lock.unlock();
        return dequeue(fd, held, arg);
    }
    const int result = controlIoctl(*handle.camera, request, arg);
    return result != 1 ? result : videoIoctl(fd, handle, request, arg);
}

int UvcDevices::controlIoctl(UvcCamera& c, unsigned long request, void* arg)
{
    switch (request) {
    case UVCIOC_CTRL_QUERY: {
        auto* q = static_cast<uvc_xu_control_query*>(arg);
        const QUuid unit = q->unit == c.mainUnit   ? SimulatedExtensionUnits::MainUnit
                           : q->unit == c.zoomUnit ? SimulatedExtensionUnits::ZoomUnit
                                                   : QUuid();
        constexpr unsigned long topology = 0x10000000, get = 1, set = 2, support = 0x100;
        unsigned long returned = 0;
        long r = -ENOENT;
        if (!unit.isNull() && q->query == UVC_GET_INFO) {
            r = q->size != 1 ? -EINVAL
                             : c.units->request(unit, q->selector, topology | support, q->unit,
                                                nullptr, 0, &returned);
            if (r >= 0) {
                q->data[0] = UVC_CONTROL_CAP_GET | UVC_CONTROL_CAP_SET;
            }
        } else if (!unit.isNull() && q->query == UVC_GET_LEN) {
            r = q->size != 2 ? -EINVAL
                             : c.units->request(unit, q->selector, topology | get, q->unit, nullptr,
                                                0, &returned);
            if (r >= 0) {
                q->data[0] = uint8_t(returned);
                q->data[1] = uint8_t(returned >> 8);
            }
        } else if (!unit.isNull() && (q->query == UVC_GET_CUR || q->query == UVC_SET_CUR)) {
            // The driver checks the size against the control's own.
            const unsigned long length = SimulatedExtensionUnits::controlLength(unit, q->selector);
            r = length == 0 ? -ENOENT
                : q->size != length
                    ? -ENOBUFS
                    : c.units->request(unit, q->selector,
                                       topology | (q->query == UVC_GET_CUR ? get : set), q->unit,
                                       q->data, q->size, &returned);
        } else if (!unit.isNull()) {
            r = -EINVAL;
        }
        std::string bytes;
        for (int i = 0; r >= 0 && i < q->size && q->query != UVC_GET_INFO; ++i) {
            char hex[4];
            snprintf(hex, sizeof hex, "%02x", q->data[i]);
            bytes += hex;
        }
        note("UVCIOC_CTRL_QUERY unit=%d selector=%d query=%s size=%d data=%s result=%ld", q->unit,
             q->selector, queryName(q->query), q->size, bytes.c_str(), r);
        return int(r);
    }
    case VIDIOC_QUERYCTRL: {
        auto* q = static_cast<v4l2_queryctrl*>(arg);
        v4l2_query_ext_ctrl e{};
        e.id = q->id;
        const int r = c.controls->queryExtControl(&e);
        note("VIDIOC_QUERYCTRL id=0x%08x result=%d", q->id, r);
        if (r == 0) {
            std::memset(q, 0, sizeof *q);
            q->id = e.id;
            q->type = e.type;
            std::memcpy(q->name, e.name, sizeof q->name - 1);
            q->minimum = int32_t(e.minimum);
            q->maximum = int32_t(e.maximum);
            q->step = int32_t(e.step);
            q->default_value = int32_t(e.default_value);
            q->flags = e.flags;
        }
        return r;
    }
    case VIDIOC_QUERY_EXT_CTRL:
        return c.controls->queryExtControl(static_cast<v4l2_query_ext_ctrl*>(arg));
    case VIDIOC_QUERYMENU:
        return c.controls->queryMenu(static_cast<v4l2_querymenu*>(arg));
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
        auto* ctrl = static_cast<v4l2_control*>(arg);
        const bool setting = request == VIDIOC_S_CTRL;
        const int r = setting ? c.controls->setControl(ctrl) : c.controls->getControl(ctrl);
        note("%s id=0x%08x value=%d result=%d", setting ? "VIDIOC_S_CTRL" : "VIDIOC_G_CTRL",
             ctrl->id, ctrl->value, r);
        return r;
    }
    default:
        return 1;
    }
}

int UvcDevices::videoIoctl(int fd, Handle& handle, unsigned long request, void* arg)
{
    UvcCamera& c = *handle.camera;
    // Changing the format or rate takes the camera, as uvcvideo's privileges do.
    const bool takes = request == VIDIOC_S_FMT || request == VIDIOC_S_PARM ||
                       request == VIDIOC_REQBUFS || request == VIDIOC_STREAMON;
    if (takes && c.owner != -1 && c.owner != fd) {
        return -EBUSY;
    }
    switch (request) {
    case VIDIOC_G_INPUT:
        *static_cast<int*>(arg) = 0;
        return 0;
    case VIDIOC_S_INPUT:
        return *static_cast<int*>(arg) == 0 ? 0 : -EINVAL;
    case VIDIOC_ENUMINPUT: {
        auto* in = static_cast<v4l2_input*>(arg);
        if (in->index != 0) {
            return -EINVAL;
        }
        std::memset(in, 0, sizeof *in);
        std::strncpy(reinterpret_cast<char*>(in->name), "Camera 1", sizeof in->name - 1);
        in->type = V4L2_INPUT_TYPE_CAMERA;
        return 0;
    }
    case VIDIOC_ENUM_FMT: {
        auto* f = static_cast<v4l2_fmtdesc*>(arg);
        const std::vector<uint32_t> list = formats(c.yuyvOnly);
        if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || f->index >= list.size()) {
            return -EINVAL;
        }
        const uint32_t index = f->index;
        std::memset(f, 0, sizeof *f);
        f->index = index;
        f->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        f->pixelformat = list[index];
        const bool jpeg = list[index] == V4L2_PIX_FMT_MJPEG;
        f->flags = jpeg ? V4L2_FMT_FLAG_COMPRESSED : 0;
        std::strncpy(reinterpret_cast<char*>(f->description), jpeg ? "Motion-JPEG" : "YUYV 4:2:2",
                     sizeof f->description - 1);
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto* s = static_cast<v4l2_frmsizeenum*>(arg);
        uint32_t seen = 0;
        for (const Mode& m : modes(c.yuyvOnly)) {
            if (m.fourcc == s->pixel_format && seen++ == s->index) {
                s->type = V4L2_FRMSIZE_TYPE_DISCRETE;
                s->discrete = {uint32_t(m.width), uint32_t(m.height)};
                return 0;
            }
        }
        return -EINVAL;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
        auto* i = static_cast<v4l2_frmivalenum*>(arg);
        const Mode* m = findMode(c, i->pixel_format, int(i->width), int(i->height));
        if (!m || i->index >= m->intervals.size()) {
            return -EINVAL;
        }
        i->type = V4L2_FRMIVAL_TYPE_DISCRETE;
        i->discrete = {m->intervals[i->index], 10000000};
        return 0;
    }
    case VIDIOC_G_FMT:
    case VIDIOC_S_FMT:
    case VIDIOC_TRY_FMT: {
        auto* f = static_cast<v4l2_format*>(arg);
        if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) {
            return -EINVAL;
        }
        if (request == VIDIOC_S_FMT && (c.streaming || !c.buffers.empty())) {
            return -EBUSY;
        }
        UvcCamera chosen;
        chosen.fourcc = c.fourcc;
        chosen.width = c.width;
        chosen.height = c.height;
        if (request != VIDIOC_G_FMT) {
            // An unknown format falls back to the first; the size goes to the
            // one that overlaps the request most, as uvcvideo picks it.
            const std::vector<uint32_t> list = formats(c.yuyvOnly);
            const uint32_t fourcc = std::count(list.begin(), list.end(), f->fmt.pix.pixelformat)
                                        ? f->fmt.pix.pixelformat
                                        : list.front();
            const int64_t rw = f->fmt.pix.width, rh = f->fmt.pix.height;
            int64_t best = INT64_MAX;
            for (const Mode& m : modes(c.yuyvOnly)) {
                const int64_t overlap =
                    std::min<int64_t>(m.width, rw) * std::min<int64_t>(m.height, rh);
                const int64_t distance = int64_t(m.width) * m.height + rw * rh - 2 * overlap;
                if (m.fourcc == fourcc && distance < best) {
                    best = distance;
                    chosen.fourcc = fourcc;
                    chosen.width = m.width;
                    chosen.height = m.height;
                }
            }
        }
        fillPix(chosen, &f->fmt.pix);
        if (request == VIDIOC_S_FMT) {
            c.owner = fd;
            c.fourcc = chosen.fourcc;
            c.width = chosen.width;
            c.height = chosen.height;
            c.interval100ns =
                nearest(findMode(c, c.fourcc, c.width, c.height)->intervals, c.interval100ns);
            note("VIDIOC_S_FMT %.4s %dx%d", reinterpret_cast<const char*>(&c.fourcc), c.width,
                 c.height);
        }
        return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
        auto* p = static_cast<v4l2_streamparm*>(arg);
        if (p->type != V4L2_BUF_TYPE_VIDEO_CAPTURE) {
            return -EINVAL;
        }
        if (request == VIDIOC_S_PARM) {
            if (c.streaming) {
                return -EBUSY;
            }
            const v4l2_fract t = p->parm.capture.timeperframe;
            const uint32_t wanted =
                t.denominator ? uint32_t(uint64_t(t.numerator) * 10000000 / t.denominator) : 0;
            c.owner = fd;
            c.interval100ns = nearest(findMode(c, c.fourcc, c.width, c.height)->intervals, wanted);
            note("VIDIOC_S_PARM %u/%u -> %u/10000000", t.numerator, t.denominator, c.interval100ns);
        }
        std::memset(&p->parm, 0, sizeof p->parm);
        p->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
        p->parm.capture.timeperframe = {c.interval100ns, 10000000};
        return 0;
    }
    default:
        return streamIoctl(fd, handle, request, arg);
    }
}

int UvcDevices::streamIoctl(int fd, Handle& handle, unsigned long request, void* arg)
{
    UvcCamera& c = *handle.camera;
    const bool owner = c.owner == fd;
    switch (request) {
    case VIDIOC_REQBUFS: {
        auto* r = static_cast<v4l2_requestbuffers*>(arg);
        if (r->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || r->memory != V4L2_MEMORY_MMAP) {
            return -EINVAL;
        }
        if (c.streaming) {
            return -EBUSY;
        }
        release(c);
        r->count = std::min<uint32_t>(r->count, 32);
        r->capabilities = V4L2_BUF_CAP_SUPPORTS_MMAP;
        if (r->count == 0) {
            return 0; // and the camera is free again
        }
        c.owner = fd;
        c.bufferLength = (imageSize(c) + 4095) & ~4095u;
        const size_t total = size_t(r->count) * c.bufferLength;
        void* map = ftruncate(fd, off_t(total)) == 0
                        ? mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                        : MAP_FAILED;
        if (map == MAP_FAILED) {
            return -ENOMEM;
        }
        c.map = static_cast<uint8_t*>(map);
        c.buffers.assign(r->count, UvcCamera::Buffer());
        return 0;
    }
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF: {
        auto* b = static_cast<v4l2_buffer*>(arg);
        if (!owner || b->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || b->index >= c.buffers.size() ||
            b->memory != V4L2_MEMORY_MMAP) {
            return -EINVAL;
        }
        UvcCamera::Buffer& buffer = c.buffers[b->index];
        if (request == VIDIOC_QBUF) {
            if (buffer.queued || buffer.done) {
                return -EINVAL;
            }
            buffer.queued = true;
            c.queued.push_back(int(b->index));
        }
        b->flags = V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC |
                   (buffer.queued ? V4L2_BUF_FLAG_QUEUED : 0) |
                   (buffer.done ? V4L2_BUF_FLAG_DONE : 0);
        b->m.offset = b->index * c.bufferLength;
        b->length = c.bufferLength;
        b->bytesused = buffer.bytes;
        return 0;
    }
    case VIDIOC_STREAMON:
        if (*static_cast<int*>(arg) != V4L2_BUF_TYPE_VIDEO_CAPTURE || c.buffers.empty()) {
            return -EINVAL;
        }
        if (!owner || uvcPictures(c.fourcc, c.width, c.height).empty()) {
            return -EIO;
        }
        c.streaming = true;
        c.startNs = clockNs(CLOCK_MONOTONIC);
        c.nextFrame = 1;
        note("VIDIOC_STREAMON %.4s %dx%d interval=%u", reinterpret_cast<const char*>(&c.fourcc),
             c.width, c.height, c.interval100ns);
        return 0;
    case VIDIOC_STREAMOFF:
        if (!owner) {
            return -EINVAL;
        }
        c.streaming = false;
        c.queued.clear();
        c.done.clear();
        for (UvcCamera::Buffer& buffer : c.buffers) {
            buffer = UvcCamera::Buffer();
        }
        note("VIDIOC_STREAMOFF");
        return 0;
    default:
        return -ENOTTY;
    }
}

// Fills the queued buffers with the frames that came due since the last
// look; frames that found no queued buffer are lost, as on the wire.
void UvcDevices::advance(UvcCamera& c, int64_t now)
{
    const int64_t step = int64_t(c.interval100ns) * 100;
    int64_t due = c.startNs + c.nextFrame * step;
    if (now - due > 64 * step) {
        c.nextFrame += (now - due) / step - 32;
        due = c.startNs + c.nextFrame * step;
    }
    const auto& pictures = uvcPictures(c.fourcc, c.width, c.height);
    for (; due <= now; ++c.nextFrame, due += step) {
        if (c.queued.empty()) {
            continue;
        }
        const int index = c.queued.front();
        c.queued.pop_front();
        const std::string& picture = pictures[size_t(c.nextFrame % kUvcPictureLoop)];
        UvcCamera::Buffer& buffer = c.buffers[size_t(index)];
        buffer.bytes = uint32_t(std::min<size_t>(picture.size(), c.bufferLength));
        std::memcpy(c.map + size_t(index) * c.bufferLength, picture.data(), buffer.bytes);
        buffer.queued = false;
        buffer.done = true;
        buffer.sequence = uint32_t(c.nextFrame);
        buffer.capturedNs = due;
        c.done.push_back(index);
    }
}

int UvcDevices::dequeue(int fd, Handle& handle, void* arg)
{
    auto* b = static_cast<v4l2_buffer*>(arg);
    for (;;) {
        std::unique_lock<std::recursive_mutex> lock(m_mutex);
        UvcCamera& c = *handle.camera;
        if (!c.plugged) {
            return -ENODEV;
        }
        if (!c.streaming || c.owner != fd || b->type != V4L2_BUF_TYPE_VIDEO_CAPTURE ||
            b->memory != V4L2_MEMORY_MMAP) {
            return -EINVAL;
        }
        const int64_t now = clockNs(CLOCK_MONOTONIC);
        advance(c, now);
        if (!c.done.empty()) {
            const int index = c.done.front();
            c.done.pop_front();
            UvcCamera::Buffer& buffer = c.buffers[size_t(index)];
            buffer.done = false;
            std::memset(b, 0, sizeof *b);
            b->index = uint32_t(index);
            b->type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            b->memory = V4L2_MEMORY_MMAP;
            b->bytesused = buffer.bytes;
            b->flags = V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC |
                       V4L2_BUF_FLAG_TSTAMP_SRC_SOE;
            b->field = V4L2_FIELD_NONE;
            b->sequence = buffer.sequence;
            b->timestamp.tv_sec = buffer.capturedNs / 1000000000;
            b->timestamp.tv_usec = (buffer.capturedNs % 1000000000) / 1000;
            b->m.offset = uint32_t(index) * c.bufferLength;
            b->length = c.bufferLength;
            m_pictureTimes[int(buffer.sequence % kUvcPictureLoop)] = buffer.capturedNs;
            return 0;
        }
        if (handle.nonblocking) {
            return -EAGAIN;
        }
        const int64_t wait = c.startNs + c.nextFrame * int64_t(c.interval100ns) * 100 - now;
        lock.unlock();
        const timespec nap{0, long(std::clamp<int64_t>(wait, 100000, 20000000))};
        nanosleep(&nap, nullptr);
    }
}
