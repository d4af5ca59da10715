// uvcvideo cameras in user space: the nodes and the ioctls of uvcvideo (their
// sysfs entries are made in uvcsysfs.cpp). The C library calls that reach them
// are taken over in uvclibc.cpp; a node is a memfd, so close and the mmap of
// its buffers are real.
#include "uvcdeviceinternal.h"

#include <linux/usb/video.h>
#include <linux/uvcvideo.h>

#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace uvcdev {

// As PTZ conference cameras list them: the fast and large modes only in MJPEG.
const std::vector<Mode> kModes = {{V4L2_PIX_FMT_MJPEG, 1280, 720, {333333, 400000, 666666}},
                                  {V4L2_PIX_FMT_MJPEG, 1920, 1080, {166666, 333333}},
                                  {V4L2_PIX_FMT_MJPEG, 3840, 2160, {333333}},
                                  {V4L2_PIX_FMT_YUYV, 1280, 720, {1000000}},
                                  {V4L2_PIX_FMT_YUYV, 640, 480, {333333}},
                                  {V4L2_PIX_FMT_H264, 1280, 720, {333333}},
                                  {V4L2_PIX_FMT_H264, 1920, 1080, {333333}}};
const std::vector<Mode> kYuyvModes(kModes.begin() + 3, kModes.begin() + 5);
const std::vector<Mode> kNv12Modes = {{V4L2_PIX_FMT_NV12, 1280, 720, {333333}}};

std::atomic<bool> active{false}; // until the devices exist, every call passes through

int64_t clockNs(clockid_t clock)
{
    timespec t;
    clock_gettime(clock, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void note(Devices& d, const char* format, ...) __attribute__((format(printf, 2, 3)));
void note(Devices& d, const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    d.log += std::string(line) + '\n';
}

int plug(Devices& d, const std::string& setup)
{
    std::lock_guard<std::recursive_mutex> lock(d.mutex);
    auto c = std::make_shared<Camera>();
    const size_t bar = setup.find('|'), bar2 = setup.find('|', bar + 1);
    c->name = setup.substr(0, bar);
    const std::string formats = bar == std::string::npos ? "" : setup.substr(bar + 1, 4);
    c->offered = formats == "yuyv" ? &kYuyvModes : formats == "nv12" ? &kNv12Modes : &kModes;
    c->mute = formats == "mute";
    if (bar2 != std::string::npos &&
        sscanf(setup.c_str() + bar2 + 1, "%d,%d", &c->mainUnit, &c->zoomUnit) != 2) {
        return -1;
    }
    const size_t bar3 = bar2 == std::string::npos ? bar2 : setup.find('|', bar2 + 1);
    c->slowUnits = bar3 != std::string::npos && setup.substr(bar3 + 1) == "slow-xu";
    c->node = d.nextNode;
    d.nextNode += 2; // a plugged-in camera gets new nodes, as with the kernel
    c->port = d.nextPort++;
    c->pluggedAtNs = clockNs(CLOCK_REALTIME);
    SimulatedCameraConfig config;
    config.description = QString::fromStdString(c->name);
    c->model = std::make_shared<SimulatedCamera>(QString("/dev/video%1").arg(c->node), config);
    c->model->modifyControlConfig([&](SimulatedControlConfig& cc) {
        cc.mainUnitNode = c->mainUnit;
        cc.zoomUnitNode = c->zoomUnit;
    });
    c->units = std::make_unique<SimulatedExtensionUnits>(*c->model);
    c->controls = std::make_unique<SimulatedStandardControls>(*c->model);
    c->mode = c->modes().front();
    c->interval = c->mode.intervals.front();
    writeSysfs(d.root, *c);
    d.cameras.push_back(c);
    return c->node;
}

Devices& devices()
{
    // Never destroyed: threads of the process may still close handles as it exits.
    static Devices* d = [] {
        auto* d = new Devices;
        const char* tmp = getenv("TMPDIR");
        d->root = std::string(tmp ? tmp : "/tmp") + "/uvcdev-" + std::to_string(getpid());
        static std::error_code ignored; // and a folder left by an earlier process of this id
        fs::remove_all(d->root, ignored);
        atexit([] { fs::remove_all(devices().root, ignored); });
        std::istringstream cameras(getenv("UVCDEV_CAMERAS") ? getenv("UVCDEV_CAMERAS") : "");
        for (std::string setup; std::getline(cameras, setup, ';');)
            plug(*d, setup);
        active = true;
        return d;
    }();
    return *d;
}

// The devices, held until the lock goes.
std::pair<Devices&, std::unique_lock<std::recursive_mutex>> locked()
{
    Devices& d = devices();
    return {d, std::unique_lock<std::recursive_mutex>(d.mutex)};
}

std::shared_ptr<Camera> cameraOfNode(Devices& d, int node)
{
    for (const auto& c : d.cameras) {
        if (c->plugged && (c->node == node || c->node + 1 == node))
            return c;
    }
    return nullptr;
}

void releaseStream(Camera& c)
{
    if (c.map)
        munmap(c.map, c.buffers.size() * c.bufferLength);
    c.map = nullptr;
    c.buffers.clear();
    c.queued.clear();
    c.done.clear();
    c.streaming = false;
    c.owner = -1;
}

// UVCIOC_CTRL_QUERY answered by the simulated camera's extension units, with
// the checks uvcvideo makes before a request reaches the device.
int unitQuery(Devices& d, Camera& c, uvc_xu_control_query* q)
{
    const QUuid set = q->unit == c.mainUnit   ? SimulatedExtensionUnits::MainUnit
                      : q->unit == c.zoomUnit ? SimulatedExtensionUnits::ZoomUnit
                                              : QUuid();
    const unsigned long length = SimulatedExtensionUnits::controlLength(set, q->selector);
    constexpr unsigned long topology = 0x10000000, get = 1, setCur = 2, support = 0x100;
    unsigned long returned = 0;
    auto ask = [&](unsigned long flags, void* data, unsigned long size) {
        return c.units->request(set, q->selector, topology | flags, q->unit, data, size, &returned);
    };
    long r = set.isNull() || length == 0 ? -ENOENT : -EINVAL;
    if (r == -EINVAL && q->query == UVC_GET_INFO && q->size == 1) {
        r = ask(support, nullptr, 0);
        q->data[0] = r >= 0 ? UVC_CONTROL_CAP_GET | UVC_CONTROL_CAP_SET : 0;
    } else if (r == -EINVAL && q->query == UVC_GET_LEN && q->size == 2) {
        r = ask(get, nullptr, 0);
        std::tie(q->data[0], q->data[1]) =
            std::make_pair(uint8_t(returned), uint8_t(returned >> 8));
    } else if (r == -EINVAL && (q->query == UVC_SET_CUR || q->query == UVC_GET_CUR)) {
        r = q->size != length ? -ENOBUFS
                              : ask(q->query == UVC_GET_CUR ? get : setCur, q->data, q->size);
    }
    static const std::map<int, const char*> names = {{UVC_SET_CUR, "SET_CUR"},
                                                     {UVC_GET_CUR, "GET_CUR"},
                                                     {UVC_GET_INFO, "GET_INFO"},
                                                     {UVC_GET_LEN, "GET_LEN"}};
    char bytes[64] = "";
    for (int i = 0; r >= 0 && q->query != UVC_GET_INFO && i < q->size && i < 31; ++i)
        snprintf(bytes + 2 * i, 3, "%02x", q->data[i]);
    note(d, "UVCIOC_CTRL_QUERY unit=%d selector=%d query=%s size=%d data=%s result=%ld", q->unit,
         q->selector, names.count(q->query) ? names.at(q->query) : "OTHER", q->size, bytes, r);
    return int(r);
}

// Fills the queued buffers with the frames that came due since the last
// look; frames that found no queued buffer are lost, as on the wire.
void advance(Camera& c, int64_t now)
{
    for (; c.dueNs() <= now; ++c.nextFrame) {
        if (c.queued.empty())
            continue;
        const int index = c.queued.front();
        c.queued.pop_front();
        const std::string& bytes = picture(c.mode, c.nextFrame);
        v4l2_buffer& b = c.buffers[size_t(index)];
        b.bytesused = uint32_t(std::min<size_t>(bytes.size(), c.bufferLength));
        std::memcpy(c.map + b.m.offset, bytes.data(), b.bytesused);
        b.sequence = uint32_t(c.nextFrame);
        b.timestamp = {c.dueNs() / 1000000000, (c.dueNs() % 1000000000) / 1000};
        b.flags = (b.flags & ~V4L2_BUF_FLAG_QUEUED) | V4L2_BUF_FLAG_DONE;
        c.done.push_back(index);
    }
}

// Waits outside the lock: a blocking reader sleeps until its frame is due.
int dequeue(Devices& d, int fd, Handle h, v4l2_buffer* b)
{
    for (;;) {
        std::unique_lock<std::recursive_mutex> lock(d.mutex);
        Camera& c = *h.camera;
        if (!c.plugged)
            return -ENODEV;
        if (!c.streaming || c.owner != fd || b->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return -EINVAL;
        const int64_t now = clockNs(CLOCK_MONOTONIC);
        advance(c, now);
        if (!c.done.empty()) {
            v4l2_buffer& done = c.buffers[size_t(c.done.front())];
            c.done.pop_front();
            done.flags &= ~V4L2_BUF_FLAG_DONE;
            *b = done;
            d.pictureTimes[int(b->sequence % PictureCode::loop)] =
                b->timestamp.tv_sec * 1000000000 + b->timestamp.tv_usec * 1000;
            return 0;
        }
        if (h.nonblocking) {
            ++d.emptyDequeues;
            return -EAGAIN;
        }
        const timespec nap{0, long(std::clamp<int64_t>(c.dueNs() - now, 100000, 20000000))};
        lock.unlock();
        nanosleep(&nap, nullptr);
    }
}

// A value set through one handle is an event for every other that subscribed it.
void tellOthers(Devices& d, const Camera& c, int fd, const v4l2_control& set)
{
    for (auto& [other, handle] : d.handles) {
        if (other != fd && handle.camera.get() == &c && handle.subscribed.count(set.id)) {
            v4l2_event e{};
            e.type = V4L2_EVENT_CTRL;
            e.id = set.id;
            e.u.ctrl.changes = V4L2_EVENT_CTRL_CH_VALUE;
            e.u.ctrl.value = set.value;
            handle.events.push_back(e);
        }
    }
}

// Formats and rates as uvcvideo rounds them: an unknown format falls back to
// the first, the size to the one that overlaps the request most, the rate to
// the nearest. A request that takes the stream while another handle holds it
// gets EBUSY. 1 when the descriptor is not a node.
int nodeIoctl(int fd, unsigned long request, void* arg)
{
    Devices& d = devices();
    std::unique_lock<std::recursive_mutex> lock(d.mutex);
    auto it = d.handles.find(fd);
    if (it == d.handles.end())
        return 1;
    const Handle h = it->second;
    Camera& c = *h.camera;
    const bool takes = request == VIDIOC_S_FMT || request == VIDIOC_S_PARM ||
                       request == VIDIOC_REQBUFS || request == VIDIOC_STREAMON;
    std::vector<uint32_t> fourccs;
    for (const Mode& m : c.modes())
        if (std::find(fourccs.begin(), fourccs.end(), m.fourcc) == fourccs.end())
            fourccs.push_back(m.fourcc);
    const auto findMode = [&c](uint32_t fourcc, int w, int h, size_t index) -> const Mode* {
        for (const Mode& m : c.modes()) {
            if (m.fourcc == fourcc && (w < 0 ? index-- == 0 : m.width == w && m.height == h))
                return &m;
        }
        return nullptr;
    };
    const auto nearest = [](const Mode& m, uint32_t wanted) {
        return *std::min_element(
            m.intervals.begin(), m.intervals.end(), [wanted](uint32_t a, uint32_t b) {
                return std::llabs(int64_t(a) - wanted) < std::llabs(int64_t(b) - wanted);
            });
    };
    auto* f = static_cast<v4l2_format*>(arg);
    auto* b = static_cast<v4l2_buffer*>(arg);
    auto* ctrl = static_cast<v4l2_control*>(arg);
    if (!c.plugged || (!arg && _IOC_SIZE(request))) // the kernel cannot copy from null either
        return c.plugged ? -EFAULT : -ENODEV;
    if (h.metadata && request != VIDIOC_QUERYCAP)
        return -ENOTTY; // its metadata format is of no interest here
    if (takes && c.owner != -1 && c.owner != fd)
        return -EBUSY;
    switch (request) {
    case VIDIOC_QUERYCAP: {
        auto* cap = static_cast<v4l2_capability*>(arg);
        *cap = {};
        std::strcpy(reinterpret_cast<char*>(cap->driver), "uvcvideo");
        std::strncpy(reinterpret_cast<char*>(cap->card), c.name.c_str(), sizeof cap->card - 1);
        snprintf(reinterpret_cast<char*>(cap->bus_info), sizeof cap->bus_info,
                 "usb-0000:00:14.0-%d", c.port);
        cap->version = 0x060100;
        cap->capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING |
                            V4L2_CAP_EXT_PIX_FORMAT | V4L2_CAP_DEVICE_CAPS;
        cap->device_caps = (h.metadata ? V4L2_CAP_META_CAPTURE : V4L2_CAP_VIDEO_CAPTURE) |
                           V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT;
        return 0;
    }
    case VIDIOC_DQBUF:
        lock.unlock();
        return dequeue(d, fd, h, b);
    case UVCIOC_CTRL_QUERY: {
        auto* q = static_cast<uvc_xu_control_query*>(arg);
        if (c.slowUnits && (q->query == UVC_GET_CUR || q->query == UVC_SET_CUR)) {
            // A camera busy with the request: the caller waits, the other
            // handles and the stream go on.
            lock.unlock();
            const timespec busy{kSlowUnitMs / 1000, 0};
            nanosleep(&busy, nullptr);
            lock.lock();
            if (!c.plugged)
                return -ENODEV;
        }
        return unitQuery(d, c, q);
    }
    case VIDIOC_QUERYCTRL: {
        auto* q = static_cast<v4l2_queryctrl*>(arg);
        v4l2_query_ext_ctrl e{};
        e.id = q->id;
        const int r = c.controls->queryExtControl(&e);
        note(d, "VIDIOC_QUERYCTRL id=0x%08x result=%d", q->id, r);
        if (r == 0) {
            *q = {};
            std::tie(q->id, q->type, q->minimum, q->maximum, q->step, q->default_value, q->flags) =
                std::make_tuple(e.id, e.type, int32_t(e.minimum), int32_t(e.maximum),
                                int32_t(e.step), int32_t(e.default_value), e.flags);
            std::memcpy(q->name, e.name, sizeof q->name - 1);
        }
        return r;
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
        const bool setting = request == VIDIOC_S_CTRL;
        const int r = setting ? c.controls->setControl(ctrl) : c.controls->getControl(ctrl);
        note(d, "%s id=0x%08x value=%d result=%d", setting ? "VIDIOC_S_CTRL" : "VIDIOC_G_CTRL",
             ctrl->id, ctrl->value, r);
        if (setting && r == 0)
            tellOthers(d, c, fd, *ctrl);
        return r;
    }
    case VIDIOC_SUBSCRIBE_EVENT:
    case VIDIOC_UNSUBSCRIBE_EVENT: { // control events only, as uvcvideo's
        auto* s = static_cast<v4l2_event_subscription*>(arg);
        v4l2_query_ext_ctrl e{};
        e.id = s->id;
        if (s->type != V4L2_EVENT_CTRL || c.controls->queryExtControl(&e) < 0)
            return -EINVAL;
        if (request == VIDIOC_SUBSCRIBE_EVENT)
            it->second.subscribed.insert(s->id);
        else
            it->second.subscribed.erase(s->id);
        return 0;
    }
    case VIDIOC_DQEVENT: {
        std::deque<v4l2_event>& events = it->second.events;
        if (events.empty())
            return -ENOENT;
        const v4l2_event e = events.front();
        events.pop_front();
        *static_cast<v4l2_event*>(arg) = e;
        note(d, "VIDIOC_DQEVENT id=0x%08x value=%lld", e.id, (long long)e.u.ctrl.value);
        return 0;
    }
    case VIDIOC_G_EXT_CTRLS:
    case VIDIOC_S_EXT_CTRLS: { // one by one, as uvcvideo does
        auto* ext = static_cast<v4l2_ext_controls*>(arg);
        for (ext->error_idx = 0; ext->error_idx < ext->count; ++ext->error_idx) {
            v4l2_ext_control& x = ext->controls[ext->error_idx];
            v4l2_control one{x.id, x.value};
            const int r = request == VIDIOC_S_EXT_CTRLS ? c.controls->setControl(&one)
                                                        : c.controls->getControl(&one);
            if (r == 0 && request == VIDIOC_S_EXT_CTRLS)
                tellOthers(d, c, fd, one);
            if ((x.value = one.value, r) < 0)
                return r;
        }
        return 0;
    }
    case VIDIOC_G_INPUT:
        return *static_cast<int*>(arg) = 0;
    case VIDIOC_ENUMINPUT: { // the one input, the camera itself
        auto* in = static_cast<v4l2_input*>(arg);
        *in = v4l2_input{in->index, "Camera 1", V4L2_INPUT_TYPE_CAMERA, 0, 0, 0, 0, {}, {}};
        return in->index == 0 ? 0 : -EINVAL;
    }
    case VIDIOC_ENUM_FMT: {
        auto* e = static_cast<v4l2_fmtdesc*>(arg);
        if (e->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || e->index >= fourccs.size())
            return -EINVAL;
        const uint32_t fourcc = fourccs[e->index];
        const bool coded = fourcc == V4L2_PIX_FMT_MJPEG || fourcc == V4L2_PIX_FMT_H264;
        const uint32_t flags = coded ? V4L2_FMT_FLAG_COMPRESSED : 0u;
        *e = v4l2_fmtdesc{e->index, e->type, flags, {}, fourcc, 0, {}};
        std::strcpy(reinterpret_cast<char*>(e->description),
                    fourcc == V4L2_PIX_FMT_MJPEG  ? "Motion-JPEG"
                    : fourcc == V4L2_PIX_FMT_H264 ? "H.264"
                    : fourcc == V4L2_PIX_FMT_NV12 ? "Y/UV 4:2:0"
                                                  : "YUYV 4:2:2");
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto* s = static_cast<v4l2_frmsizeenum*>(arg);
        const Mode* m = findMode(s->pixel_format, -1, -1, s->index);
        s->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        s->discrete = m ? v4l2_frmsize_discrete{uint32_t(m->width), uint32_t(m->height)}
                        : v4l2_frmsize_discrete{};
        return m ? 0 : -EINVAL;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
        auto* i = static_cast<v4l2_frmivalenum*>(arg);
        const Mode* m = findMode(i->pixel_format, int(i->width), int(i->height), 0);
        if (!m || i->index >= m->intervals.size())
            return -EINVAL;
        i->type = V4L2_FRMIVAL_TYPE_DISCRETE;
        i->discrete = {m->intervals[i->index], 10000000};
        return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
        auto* p = static_cast<v4l2_streamparm*>(arg);
        if (p->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return -EINVAL;
        const v4l2_fract t = p->parm.capture.timeperframe;
        if (request == VIDIOC_S_PARM && c.streaming)
            return -EBUSY;
        if (request == VIDIOC_S_PARM) {
            c.owner = fd;
            c.interval =
                nearest(c.mode, t.denominator ? t.numerator * 10000000ull / t.denominator : 0);
            note(d, "VIDIOC_S_PARM %u/%u -> %u", t.numerator, t.denominator, c.interval);
        }
        p->parm = {};
        p->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
        p->parm.capture.timeperframe = {c.interval, 10000000};
        return 0;
    }
    case VIDIOC_G_FMT:
    case VIDIOC_S_FMT: {
        v4l2_pix_format& pix = f->fmt.pix;
        if (f->type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return -EINVAL;
        if (request == VIDIOC_S_FMT) {
            if (c.owner >= 0 && (c.streaming || !c.buffers.empty()))
                return -EBUSY;
            const bool known = std::count(fourccs.begin(), fourccs.end(), pix.pixelformat);
            int64_t best = INT64_MAX;
            for (const Mode& m : c.modes()) {
                const int64_t overlap =
                    std::min<int64_t>(m.width, pix.width) * std::min<int64_t>(m.height, pix.height);
                const int64_t distance =
                    int64_t(m.width) * m.height + int64_t(pix.width) * pix.height - 2 * overlap;
                if (m.fourcc == (known ? pix.pixelformat : fourccs[0]) && distance < best)
                    std::tie(best, c.mode) = std::make_pair(distance, m);
            }
            c.owner = fd;
            c.interval = nearest(c.mode, c.interval);
            note(d, "VIDIOC_S_FMT %.4s %dx%d", reinterpret_cast<const char*>(&c.mode.fourcc),
                 c.mode.width, c.mode.height);
        }
        pix = v4l2_pix_format{};
        pix.width = uint32_t(c.mode.width);
        pix.height = uint32_t(c.mode.height);
        pix.pixelformat = c.mode.fourcc;
        pix.field = V4L2_FIELD_NONE;
        const bool coded =
            c.mode.fourcc == V4L2_PIX_FMT_MJPEG || c.mode.fourcc == V4L2_PIX_FMT_H264;
        pix.bytesperline = coded ? 0 : c.lineBytes();
        pix.sizeimage = c.imageSize();
        pix.colorspace = V4L2_COLORSPACE_SRGB;
        return 0;
    }
    case VIDIOC_REQBUFS: {
        auto* r = static_cast<v4l2_requestbuffers*>(arg);
        if (r->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || r->memory != V4L2_MEMORY_MMAP || c.streaming)
            return c.streaming ? -EBUSY : -EINVAL;
        releaseStream(c); // and with no buffers asked for, the camera is free again
        r->count = std::min<uint32_t>(r->count, 32);
        r->capabilities = V4L2_BUF_CAP_SUPPORTS_MMAP;
        c.bufferLength = (c.imageSize() + 4095) & ~4095u;
        const size_t total = size_t(r->count) * c.bufferLength;
        void* map = r->count && ftruncate(fd, off_t(total)) == 0
                        ? mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                        : MAP_FAILED;
        if (map == MAP_FAILED)
            return r->count ? -ENOMEM : 0;
        c.owner = fd;
        c.map = static_cast<uint8_t*>(map);
        v4l2_buffer buffer{};
        std::tie(buffer.type, buffer.memory, buffer.field, buffer.length) = std::make_tuple(
            V4L2_BUF_TYPE_VIDEO_CAPTURE, V4L2_MEMORY_MMAP, V4L2_FIELD_NONE, c.bufferLength);
        buffer.flags =
            V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC | V4L2_BUF_FLAG_TSTAMP_SRC_SOE;
        for (buffer.index = 0; buffer.index < r->count; ++buffer.index) {
            buffer.m.offset = buffer.index * c.bufferLength;
            c.buffers.push_back(buffer);
        }
        return 0;
    }
    case VIDIOC_QUERYBUF:
    case VIDIOC_QBUF: {
        if (c.owner != fd || b->type != V4L2_BUF_TYPE_VIDEO_CAPTURE ||
            b->index >= c.buffers.size() || b->memory != V4L2_MEMORY_MMAP)
            return -EINVAL;
        v4l2_buffer& buffer = c.buffers[b->index];
        if (request == VIDIOC_QBUF && (buffer.flags & (V4L2_BUF_FLAG_QUEUED | V4L2_BUF_FLAG_DONE)))
            return -EINVAL;
        if (request == VIDIOC_QBUF) {
            c.queued.push_back(int(b->index));
            buffer.flags |= V4L2_BUF_FLAG_QUEUED;
        }
        *b = buffer;
        return 0;
    }
    case VIDIOC_STREAMON:
    case VIDIOC_STREAMOFF:
        if (c.owner != fd || *static_cast<int*>(arg) != V4L2_BUF_TYPE_VIDEO_CAPTURE ||
            c.buffers.empty())
            return -EINVAL;
        c.streaming = request == VIDIOC_STREAMON && !c.mute && !picture(c.mode, 0).empty();
        c.startNs = clockNs(CLOCK_MONOTONIC);
        c.nextFrame = 1;
        if (request == VIDIOC_STREAMOFF) { // every buffer back to the caller
            c.queued.clear();
            c.done.clear();
            for (v4l2_buffer& buffer : c.buffers)
                buffer.flags &= ~(V4L2_BUF_FLAG_QUEUED | V4L2_BUF_FLAG_DONE);
        }
        if (c.streaming)
            note(d, "VIDIOC_STREAMON %.4s %dx%d interval=%u",
                 reinterpret_cast<const char*>(&c.mode.fourcc), c.mode.width, c.mode.height,
                 c.interval);
        return c.streaming || request == VIDIOC_STREAMOFF ? 0 : -EIO;
    }
    return -ENOTTY;
}

// As uvcvideo's poll: readable once the owner's next picture is complete, an
// error while the handle does not stream (only when asked to read, as vb2),
// POLLPRI while an event waits, everything once the camera is gone.
short nodeEvents(const Handle& h, int fd, int64_t now, short wanted)
{
    Camera& c = *h.camera;
    const short pending = h.events.empty() ? 0 : POLLPRI;
    if (!c.plugged)
        return POLLERR | POLLHUP | POLLPRI;
    if (!(wanted & (POLLIN | POLLRDNORM)))
        return pending;
    if (h.metadata || !c.streaming || c.owner != fd)
        return POLLERR | pending;
    advance(c, now);
    return (c.done.empty() ? 0 : POLLIN | POLLRDNORM) | pending;
}

} // namespace uvcdev

using namespace uvcdev;

// The controller

UVCDEV_API int uvcdev_plug(const char* setup)
{
    return plug(devices(), setup);
}

UVCDEV_API int uvcdev_unplug(int node)
{
    auto [d, lock] = locked();
    auto c = cameraOfNode(d, node);
    if (!c || c->node != node)
        return -1;
    c->plugged = false;
    std::error_code ignored;
    for (const std::string& path : {classFolder(node), classFolder(node + 1), usbFolder(*c),
                                    charLink(node), charLink(node + 1)})
        fs::remove_all(d.root + path, ignored);
    return 0;
}

UVCDEV_API int uvcdev_streaming_handles()
{
    auto [d, lock] = locked();
    return int(std::count_if(d.cameras.begin(), d.cameras.end(),
                             [](const auto& c) { return c->owner != -1; }));
}

UVCDEV_API const char* uvcdev_take_log()
{
    auto [d, lock] = locked();
    static std::string taken;
    taken = std::exchange(d.log, {});
    return taken.c_str();
}

UVCDEV_API int uvcdev_empty_dequeues()
{
    auto [d, lock] = locked();
    return std::exchange(d.emptyDequeues, 0);
}

UVCDEV_API int64_t uvcdev_picture_time(int picture)
{
    auto [d, lock] = locked();
    return d.pictureTimes.count(picture) ? d.pictureTimes[picture] : -1;
}

// The cameras are there from the start, for a client that opens or stats its
// node before it lists /dev, if ever; made last, after the tables above.
static const bool setUpAtLoad = getenv("UVCDEV_CAMERAS") && (devices(), true);
