// The simulated camera made real: the user-space half of a configfs UVC
// gadget (usb_f_uvc). It answers the class requests that uvcvideo sends with
// the simulated camera's own control model, so values read back, logs every
// request, and streams MJPEG (the simulated camera's encoder) or YUYV frames.
//   lumora-uvc-gadget <gadget video node> <request log> <main unit id> <zoom unit id>

#include "simulatedcamera.h"
#include "simulatedextensionunits.h"
#include "simulatedframerenderer.h"
#include "simulatedstandardcontrols.h"
#include "simulatedvideostream.h"
#include "threadpriority.h"

#include <QByteArray>
#include <QDateTime>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <linux/usb/g_uvc.h>
#include <linux/usb/video.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <thread>
#include <tuple>
#include <unistd.h>
#include <vector>

extern "C" {
#include <libavcodec/packet.h>
}

namespace {

constexpr int kCameraTerminal = 1, kProcessingUnit = 2, kMaxPayload = 3072;

// A standard control as uvcvideo maps it onto V4L2: unit, selector, the
// V4L2 control(s) of the model behind it, and the wire size.
struct StandardControl
{
    int unit, selector;
    unsigned cid, cid2;
    int size;
};
const StandardControl kStandard[] = {
    {kCameraTerminal, UVC_CT_AE_MODE_CONTROL, V4L2_CID_EXPOSURE_AUTO, 0, 1},
    {kCameraTerminal, UVC_CT_ZOOM_ABSOLUTE_CONTROL, V4L2_CID_ZOOM_ABSOLUTE, 0, 2},
    {kCameraTerminal, UVC_CT_PANTILT_ABSOLUTE_CONTROL, V4L2_CID_PAN_ABSOLUTE,
     V4L2_CID_TILT_ABSOLUTE, 8},
    {kCameraTerminal, UVC_CT_PANTILT_RELATIVE_CONTROL, V4L2_CID_PAN_SPEED, V4L2_CID_TILT_SPEED, 4},
    {kProcessingUnit, UVC_PU_CONTRAST_CONTROL, V4L2_CID_CONTRAST, 0, 2},
    {kProcessingUnit, UVC_PU_WHITE_BALANCE_TEMPERATURE_CONTROL, V4L2_CID_WHITE_BALANCE_TEMPERATURE,
     0, 2},
    {kProcessingUnit, UVC_PU_WHITE_BALANCE_TEMPERATURE_AUTO_CONTROL, V4L2_CID_AUTO_WHITE_BALANCE, 0,
     1},
};

struct Mode
{
    unsigned fourcc;
    int width, height;
    unsigned maxFrameSize;
    unsigned shortestInterval, longestInterval; // 100 ns units, as UVC counts them
};
// The frames of format 1 (MJPEG) and format 2 (YUYV), in the order the
// gadget's configfs lists them.
const Mode kMjpegModes[] = {{V4L2_PIX_FMT_MJPEG, 1280, 720, 1280 * 720 * 2, 333333, 666666},
                            {V4L2_PIX_FMT_MJPEG, 1920, 1080, 1920 * 1080 * 2, 166666, 333333},
                            {V4L2_PIX_FMT_MJPEG, 3840, 2160, 3840 * 2160 * 2, 333333, 333333}};
const Mode kYuyvModes[] = {{V4L2_PIX_FMT_YUYV, 640, 480, 640 * 480 * 2, 333333, 333333}};
constexpr unsigned kDefaultInterval = 333333; // 30 fps, offered by every frame

int frameCount(int format)
{
    return format == 1 ? int(std::size(kMjpegModes)) : int(std::size(kYuyvModes));
}

const Mode& modeOf(int format, int frame)
{
    return format == 1 ? kMjpegModes[frame - 1] : kYuyvModes[frame - 1];
}

const char* const kGetNames[] = {"GET_CUR", "GET_MIN",  "GET_MAX", "GET_RES",
                                 "GET_LEN", "GET_INFO", "GET_DEF"};

class Gadget
{
public:
    Gadget(int fd, FILE* log, int mainUnit, int zoomUnit)
        : m_fd(fd), m_log(log), m_mainUnit(mainUnit), m_zoomUnit(zoomUnit),
          m_camera(std::make_shared<SimulatedCamera>("uvc-gadget", SimulatedCameraConfig())),
          m_units(*m_camera), m_controls(*m_camera), m_yuyv(640, 480)
    {
        m_camera->modifyControlConfig([&](SimulatedControlConfig& c) {
            c.mainUnitNode = unsigned(mainUnit);
            c.zoomUnitNode = unsigned(zoomUnit);
        });
        setProbe(m_probe, 1, 1, 333333);
        m_commit = m_probe;
        // The first picture draws the scene and starts the encoder, seconds
        // under TCG: done before the host asks, as a camera boots first.
        AVPacket* packet = av_packet_alloc();
        SimulatedVideoStream(m_camera).encode(m_camera->state(), 0, 0, packet);
        av_packet_free(&packet);
        // The 1080p room takes far longer; it is drawn meanwhile, long before
        // the tier's first 1080p stream, so that its first picture comes in
        // the time a host waits for one. Then the 4K room, four times the
        // work, a step down: the streams the tier asks for meanwhile go first.
        m_warmUp = std::thread([] {
            SimulatedFrameRenderer(1920, 1080, -1, QString());
            lowerCurrentThreadPriority();
            SimulatedFrameRenderer(3840, 2160, -1, QString());
        });
    }
    ~Gadget()
    {
        if (m_warmUp.joinable())
            m_warmUp.join();
    }

    void run()
    {
        for (unsigned type = UVC_EVENT_FIRST; type <= UVC_EVENT_LAST; ++type) {
            v4l2_event_subscription sub{};
            sub.type = type;
            ioctl(m_fd, VIDIOC_SUBSCRIBE_EVENT, &sub);
        }
        for (;;) { // until SIGTERM, or the node goes (unbinding waits for its last user)
            pollfd p{m_fd, short(POLLPRI | (m_streaming ? POLLOUT : 0)), 0};
            if (poll(&p, 1, 200) <= 0)
                continue;
            if (p.revents & POLLHUP)
                return;
            if (p.revents & POLLPRI)
                event();
            if (m_streaming && (p.revents & POLLOUT))
                feed();
        }
    }

private:
    void event()
    {
        v4l2_event ev{};
        if (ioctl(m_fd, VIDIOC_DQEVENT, &ev) < 0)
            return;
        const auto* uvc = reinterpret_cast<const uvc_event*>(ev.u.data);
        if (ev.type == UVC_EVENT_SETUP)
            setup(uvc->req);
        else if (ev.type == UVC_EVENT_DATA)
            data(uvc->data);
        else if (ev.type == UVC_EVENT_STREAMON)
            startStreaming();
        else if (ev.type == UVC_EVENT_STREAMOFF)
            stopStreaming();
        else if (ev.type == UVC_EVENT_DISCONNECT) // STREAMOFF now would only upset f_uvc
            m_streaming = false;
    }

    // A negative length stalls; a SET_CUR is answered with its own length to
    // take its data stage.
    void respond(const QByteArray& bytes, int length)
    {
        uvc_request_data r{};
        r.length = length < 0 ? -EL2HLT : std::min(length, int(sizeof r.data));
        memcpy(r.data, bytes.constData(), size_t(std::min(r.length, int(bytes.size()))));
        ioctl(m_fd, UVCIOC_SEND_RESPONSE, &r);
    }

    void note(const char* what, int unit, int selector, const QByteArray& bytes, bool ok)
    {
        fprintf(m_log, "%s unit=%d selector=%d data=%s %s\n", what, unit, selector,
                bytes.toHex().constData(), ok ? "ok" : "stall");
        fflush(m_log);
    }

    void setup(const usb_ctrlrequest& req)
    {
        const int unit = req.wIndex >> 8, selector = req.wValue >> 8, length = req.wLength;
        if (!(req.bRequestType & USB_DIR_IN)) { // SET_CUR: the bytes come with the data stage
            m_pending = req;
            respond({}, length);
            return;
        }
        QByteArray out;
        bool ok = false;
        if ((req.wIndex & 0xff) == 1) // the streaming interface: probe and commit
            ok = streamingGet(req.bRequest, selector, &out);
        else if (unit == m_mainUnit || unit == m_zoomUnit)
            ok = unitGet(unit, req.bRequest, selector, &out);
        else if (const StandardControl* c = standard(unit, selector))
            ok = standardGet(*c, req.bRequest, &out);
        else if (unit == 0 && selector == UVC_VC_REQUEST_ERROR_CODE_CONTROL)
            ok = (out = QByteArray(1, char(0x06)), true); // invalid control
        if ((req.wIndex & 0xff) != 1)
            note(req.bRequest >= UVC_GET_CUR && req.bRequest <= UVC_GET_DEF
                     ? kGetNames[req.bRequest - UVC_GET_CUR]
                     : "OTHER",
                 unit, selector, out, ok);
        respond(out, ok ? std::min(length, int(out.size())) : -1);
    }

    void data(const uvc_request_data& d)
    {
        const int unit = m_pending.wIndex >> 8, selector = m_pending.wValue >> 8;
        const QByteArray in(reinterpret_cast<const char*>(d.data), std::max(0, d.length));
        if ((m_pending.wIndex & 0xff) == 1) {
            streamingSet(selector, in);
            return;
        }
        bool ok = false;
        if (unit == m_mainUnit || unit == m_zoomUnit) {
            QByteArray bytes = in;
            unsigned long returned = 0;
            ok = m_units.request(unitGuid(unit), selector, 0x10000002, ulong(unit), bytes.data(),
                                 ulong(bytes.size()), &returned) >= 0;
        } else if (const StandardControl* c = standard(unit, selector)) {
            ok = standardSet(*c, in);
        }
        note("SET_CUR", unit, selector, in, ok);
    }

    QUuid unitGuid(int unit) const
    {
        return unit == m_mainUnit ? SimulatedExtensionUnits::MainUnit
                                  : SimulatedExtensionUnits::ZoomUnit;
    }

    bool unitGet(int unit, int request, int selector, QByteArray* out)
    {
        unsigned long returned = 0;
        const QUuid set = unitGuid(unit);
        if (request == UVC_GET_INFO || request == UVC_GET_LEN) { // support or length query
            const unsigned long flags = request == UVC_GET_INFO ? 0x10000100 : 0x10000001;
            const bool ok =
                m_units.request(set, selector, flags, ulong(unit), nullptr, 0, &returned) >= 0;
            infoOrLength(request, int(returned), out);
            return ok;
        }
        if (request != UVC_GET_CUR)
            return false;
        out->resize(int(SimulatedExtensionUnits::controlLength(set, ulong(selector))));
        return m_units.request(set, selector, 0x10000001, ulong(unit), out->data(),
                               ulong(out->size()), &returned) >= 0;
    }

    static const StandardControl* standard(int unit, int selector)
    {
        for (const StandardControl& c : kStandard)
            if (c.unit == unit && c.selector == selector)
                return &c;
        return nullptr;
    }

    // The wire bytes of a V4L2 value (the reverse of uvcvideo's mappings).
    static void put(QByteArray* out, const StandardControl& c, int request, long a, long b)
    {
        auto le = [out](long v, int n) {
            for (int i = 0; i < n; ++i)
                out->append(char(v >> (8 * i)));
        };
        if (c.selector == UVC_CT_AE_MODE_CONTROL && c.unit == kCameraTerminal) {
            // menu 1 manual, 3 aperture priority; GET_RES is the bitmap of modes
            le(request == UVC_GET_RES ? 0x09 : a == 1 ? 0x01 : 0x08, 1);
        } else if (c.size == 4) { // relative pan/tilt: direction and speed per axis
            for (long v : {a, b}) {
                le(request == UVC_GET_CUR ? (v > 0 ? 1 : v < 0 ? -1 : 0) : 1, 1);
                le(std::labs(v), 1);
            }
        } else {
            le(a, c.cid2 ? 4 : c.size);
            if (c.cid2)
                le(b, 4);
        }
    }

    long standardValue(unsigned cid, int request)
    {
        if (request == UVC_GET_CUR) {
            v4l2_control ctrl{cid, 0};
            m_controls.getControl(&ctrl);
            return ctrl.value;
        }
        v4l2_query_ext_ctrl q{};
        q.id = cid;
        m_controls.queryExtControl(&q);
        return long(request == UVC_GET_MIN   ? q.minimum
                    : request == UVC_GET_MAX ? q.maximum
                    : request == UVC_GET_RES ? q.step
                                             : q.default_value);
    }

    // GET_INFO (get and set supported) and GET_LEN of a control of that size.
    static bool infoOrLength(int request, int size, QByteArray* out)
    {
        if (request == UVC_GET_INFO)
            *out = QByteArray(1, char(UVC_CONTROL_CAP_GET | UVC_CONTROL_CAP_SET));
        else if (request == UVC_GET_LEN)
            *out = QByteArray(1, char(size)) + char(size >> 8);
        return request == UVC_GET_INFO || request == UVC_GET_LEN;
    }

    bool standardGet(const StandardControl& c, int request, QByteArray* out)
    {
        if (!infoOrLength(request, c.size, out))
            put(out, c, request, standardValue(c.cid, request),
                c.cid2 ? standardValue(c.cid2, request) : 0);
        return true;
    }

    bool standardSet(const StandardControl& c, const QByteArray& in)
    {
        if (in.size() < c.size)
            return false;
        auto le = [&in](int at, int n) {
            long v = 0;
            for (int i = n - 1; i >= 0; --i)
                v = (v << 8) | uint8_t(in[at + i]);
            return n == 4 ? long(int32_t(v)) : v;
        };
        long a = le(0, c.cid2 && c.size == 8 ? 4 : c.size), b = c.size == 8 ? le(4, 4) : 0;
        if (c.size == 4) { // direction * speed per axis
            a = int8_t(in[0]) * long(uint8_t(in[1]));
            b = int8_t(in[2]) * long(uint8_t(in[3]));
        } else if (c.selector == UVC_CT_AE_MODE_CONTROL && c.unit == kCameraTerminal) {
            a = a == 0x01 ? 1 : 3;
        }
        v4l2_control ctrl{c.cid, int(a)};
        bool ok = m_controls.setControl(&ctrl) >= 0;
        if (c.cid2) {
            v4l2_control second{c.cid2, int(b)};
            ok = m_controls.setControl(&second) >= 0 && ok;
        }
        return ok;
    }

    static void setProbe(uvc_streaming_control& p, int format, int frame, unsigned interval)
    {
        p = {};
        format = std::max(1, std::min(format, 2));
        frame = std::max(1, std::min(frame, frameCount(format)));
        const Mode& mode = modeOf(format, frame);
        p.bFormatIndex = uint8_t(format);
        p.bFrameIndex = uint8_t(frame);
        p.dwFrameInterval = interval >= mode.shortestInterval && interval <= mode.longestInterval
                                ? interval
                                : kDefaultInterval;
        p.dwMaxVideoFrameSize = mode.maxFrameSize;
        p.dwMaxPayloadTransferSize = kMaxPayload;
        p.bmFramingInfo = 3;
        p.bPreferedVersion = p.bMinVersion = p.bMaxVersion = 1;
    }

    bool streamingGet(int request, int selector, QByteArray* out)
    {
        uvc_streaming_control p = selector == UVC_VS_COMMIT_CONTROL ? m_commit : m_probe;
        if (infoOrLength(request, sizeof p, out))
            return true;
        if (request == UVC_GET_MIN || request == UVC_GET_DEF)
            setProbe(p, 1, 1, 333333);
        else if (request == UVC_GET_MAX)
            setProbe(p, 2, 1, 666666);
        *out = QByteArray(reinterpret_cast<const char*>(&p), sizeof p);
        return true;
    }

    void streamingSet(int selector, const QByteArray& in)
    {
        uvc_streaming_control p{};
        memcpy(&p, in.constData(), std::min(size_t(in.size()), sizeof p));
        setProbe(selector == UVC_VS_COMMIT_CONTROL ? m_commit : m_probe, p.bFormatIndex,
                 p.bFrameIndex, p.dwFrameInterval);
    }

    void startStreaming()
    {
        const Mode& mode = modeOf(m_commit.bFormatIndex, m_commit.bFrameIndex);
        v4l2_format fmt{};
        fmt.type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
        fmt.fmt.pix.width = unsigned(mode.width);
        fmt.fmt.pix.height = unsigned(mode.height);
        fmt.fmt.pix.pixelformat = mode.fourcc;
        fmt.fmt.pix.field = V4L2_FIELD_NONE;
        fmt.fmt.pix.sizeimage = mode.maxFrameSize;
        v4l2_requestbuffers rb{4, V4L2_BUF_TYPE_VIDEO_OUTPUT, V4L2_MEMORY_MMAP, 0, 0, {}};
        if (ioctl(m_fd, VIDIOC_S_FMT, &fmt) < 0 || ioctl(m_fd, VIDIOC_REQBUFS, &rb) < 0)
            return;
        if (mode.fourcc == V4L2_PIX_FMT_MJPEG) {
            m_stream = std::make_unique<SimulatedVideoStream>(m_camera);
            m_stream->open(mode.width, mode.height,
                           int(std::lround(1e7 / double(m_commit.dwFrameInterval))));
        }
        m_start = QDateTime::currentMSecsSinceEpoch();
        for (unsigned i = 0; i < rb.count; ++i) {
            v4l2_buffer b{};
            std::tie(b.index, b.type, b.memory) = std::make_tuple(i, rb.type, rb.memory);
            ioctl(m_fd, VIDIOC_QUERYBUF, &b);
            void* at =
                mmap(nullptr, b.length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, b.m.offset);
            m_buffers.push_back({at, b.length});
            fill(b);
        }
        int type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
        m_streaming = ioctl(m_fd, VIDIOC_STREAMON, &type) == 0;
        fprintf(m_log, "STREAMON format=%d frame=%d interval=%u\n", m_commit.bFormatIndex,
                m_commit.bFrameIndex, m_commit.dwFrameInterval);
        fflush(m_log);
    }

    void fill(v4l2_buffer& b)
    {
        auto* out = static_cast<uint8_t*>(m_buffers[b.index].first);
        const size_t room = m_buffers[b.index].second;
        b.bytesused = 0;
        if (m_stream) {
            AVPacket* packet = av_packet_alloc();
            if (m_stream->read(packet) == SimulatedVideoStream::ReadResult::Frame &&
                size_t(packet->size) <= room) {
                memcpy(out, packet->data, size_t(packet->size));
                b.bytesused = unsigned(packet->size);
            }
            av_packet_free(&packet);
        } else { // YUYV: the renderer's 4:2:0 planes, chroma shared by two pixels
            const int w = 640, h = 480;
            std::vector<uint8_t> y(size_t(w * h)), u(size_t(w * h / 4)), v(u.size());
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            m_yuyv.render(m_camera->state(), QTime::currentTime().msecsSinceStartOfDay(),
                          (now - m_start) / 1000.0,
                          {y.data(), u.data(), v.data(), w, w / 2, w / 2});
            for (int i = 0; i < w * h && size_t(2 * i + 1) < room; ++i) {
                const size_t c = size_t((i / w / 2) * (w / 2) + (i % w) / 2);
                out[2 * i] = y[size_t(i)];
                out[2 * i + 1] = (i & 1) ? v[c] : u[c];
            }
            b.bytesused = unsigned(std::min(room, size_t(w * h * 2)));
        }
        ioctl(m_fd, VIDIOC_QBUF, &b);
    }

    void feed()
    {
        v4l2_buffer b{};
        std::tie(b.type, b.memory) = std::make_tuple(V4L2_BUF_TYPE_VIDEO_OUTPUT, V4L2_MEMORY_MMAP);
        if (ioctl(m_fd, VIDIOC_DQBUF, &b) == 0)
            fill(b);
    }

    void stopStreaming()
    {
        if (m_buffers.empty())
            return;
        int type = V4L2_BUF_TYPE_VIDEO_OUTPUT;
        ioctl(m_fd, VIDIOC_STREAMOFF, &type);
        for (auto& [at, length] : m_buffers)
            munmap(at, length);
        m_buffers.clear();
        v4l2_requestbuffers none{0, V4L2_BUF_TYPE_VIDEO_OUTPUT, V4L2_MEMORY_MMAP, 0, 0, {}};
        ioctl(m_fd, VIDIOC_REQBUFS, &none);
        m_stream.reset();
        m_streaming = false;
        fprintf(m_log, "STREAMOFF\n");
        fflush(m_log);
    }

    const int m_fd;
    FILE* const m_log;
    const int m_mainUnit, m_zoomUnit;
    std::shared_ptr<SimulatedCamera> m_camera;
    SimulatedExtensionUnits m_units;
    SimulatedStandardControls m_controls;
    SimulatedFrameRenderer m_yuyv;
    std::unique_ptr<SimulatedVideoStream> m_stream;
    std::thread m_warmUp;
    std::vector<std::pair<void*, size_t>> m_buffers;
    uvc_streaming_control m_probe{}, m_commit{};
    usb_ctrlrequest m_pending{};
    bool m_streaming = false;
    qint64 m_start = 0;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: %s <gadget video node> <request log> <main unit> <zoom unit>\n",
                argv[0]);
        return 64;
    }
    const int fd = open(argv[1], O_RDWR | O_NONBLOCK);
    FILE* log = fopen(argv[2], "a");
    if (fd < 0 || !log) {
        perror(argv[1]);
        return 2;
    }
    Gadget(fd, log, atoi(argv[3]), atoi(argv[4])).run();
    return 0;
}
