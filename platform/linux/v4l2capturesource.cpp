#include "v4l2capturesource.h"

#include "retryioctl.h"
#include "v4l2formatprobe.h"

#include <QDebug>
#include <QFile>
#include <QList>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libavutil/time.h>
}

#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

// Four buffers: one being filled, one being copied out, two in reserve for
// a worker that fell behind on a loaded machine. The copy takes the buffer
// back to the driver at once, so more only delay what the preview shows.
const unsigned V4l2CaptureSource::kBufferCount = 4;

namespace {

// How long read() waits for a picture before handing control back, so the
// worker can notice a stop request or a stalled camera.
constexpr int64_t kReadSliceUs = 100000;
// A node that said "ready" and then had no picture is napped on once
// rather than polled again at once.
constexpr int64_t kDistrustNapUs = 4000;

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// The kernel's time of the picture when it comes from the monotonic clock
// (that of av_gettime_relative() and the microphones); else the moment it
// was taken from the driver.
int64_t captureTime(const v4l2_buffer& buffer)
{
    const int64_t stamp = int64_t(buffer.timestamp.tv_sec) * 1000000 + buffer.timestamp.tv_usec;
    const bool monotonic =
        (buffer.flags & V4L2_BUF_FLAG_TIMESTAMP_MASK) == V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC;
    const int64_t now = av_gettime_relative();
    return monotonic && stamp > 0 && stamp <= now ? stamp : now;
}

} // namespace

V4l2CaptureSource::V4l2CaptureSource(const QString& devicePath)
    : m_path(devicePath), m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_parameters(avcodec_parameters_alloc())
{
}

V4l2CaptureSource::~V4l2CaptureSource()
{
    release();
    if (m_wake >= 0) {
        ::close(m_wake);
    }
    avcodec_parameters_free(&m_parameters);
}

bool V4l2CaptureSource::open(const CaptureMode& wanted)
{
    QList<Attempt> attempts;
    const QList<V4l2Mode> modes = enumerateV4l2Modes(m_path);
    QList<CaptureMode> offered;
    for (const V4l2Mode& mode : modes) {
        offered.append(CaptureMode(mode.width, mode.height, mode.fps, v4l2ModeFormat(mode.fourcc)));
    }
    const CaptureMode exact = CaptureMode::find(offered, wanted);
    if (!exact.isNull() && exact.format() != CaptureMode::Format::Any) {
        attempts.append({v4l2Fourcc(exact.format()), exact.width(), exact.height(), exact.fps()});
    }
    const double fps = wanted.fps() > 0 ? wanted.fps() : 30;
    V4l2Mode mode;
    if (chooseV4l2Mode(modes, wanted.width(), wanted.height(), fps, mode)) {
        attempts.append({mode.fourcc, mode.width, mode.height, mode.fps});
    }
    // Cameras that list nothing still often take the usual request, and
    // failing that, whatever they are set to.
    attempts.append({V4L2_PIX_FMT_MJPEG, wanted.width(), wanted.height(), fps});
    attempts.append(Attempt());
    for (const Attempt& attempt : attempts) {
        if (m_interrupted.load() || !m_parameters || m_wake < 0) {
            return false;
        }
        if (openWith(attempt)) {
            return true;
        }
    }
    return false;
}

bool V4l2CaptureSource::openWith(const Attempt& attempt)
{
    release();
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    const bool started = m_fd >= 0 && setFormat(attempt) && mapBuffers() && startStreaming();
    if (!started) {
        const int error = errno;
        qDebug().noquote() << "capture:" << m_path << "did not open as"
                           << (attempt.fourcc ? v4l2InputFormatName(attempt.fourcc)
                                              : QStringLiteral("default"))
                           << "-" << errorText(error);
        // Nothing may stay mapped: a driver that counts mappings
        // (v4l2loopback) would refuse every later start with EBUSY.
        release();
        return false;
    }
    qDebug().noquote() << "capture:" << m_path << "streams"
                       << avcodec_get_name(m_parameters->codec_id) << m_width << "x" << m_height
                       << "at" << m_fps << "fps in" << m_buffers.size() << "buffers";
    return true;
}

bool V4l2CaptureSource::setFormat(const Attempt& attempt)
{
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (attempt.fourcc) {
        format.fmt.pix.pixelformat = attempt.fourcc;
        format.fmt.pix.width = uint32_t(attempt.width);
        format.fmt.pix.height = uint32_t(attempt.height);
        format.fmt.pix.field = V4L2_FIELD_ANY;
        if (retryIoctl(m_fd, VIDIOC_S_FMT, &format) != 0) {
            return false;
        }
        if (format.fmt.pix.pixelformat != attempt.fourcc) {
            errno = EINVAL; // the driver put another format in its place
            return false;
        }
    } else if (retryIoctl(m_fd, VIDIOC_G_FMT, &format) != 0) {
        return false;
    }
    const QString name = v4l2InputFormatName(format.fmt.pix.pixelformat);
    const AVPixelFormat pixels = av_get_pix_fmt(name.toLatin1().constData());
    const bool compressed = name == QLatin1String("mjpeg") || name == QLatin1String("h264");
    const AVCodecDescriptor* coded =
        compressed ? avcodec_descriptor_get_by_name(name.toLatin1().constData()) : nullptr;
    if (name.isEmpty() || (!coded && pixels == AV_PIX_FMT_NONE) || format.fmt.pix.width == 0 ||
        format.fmt.pix.height == 0) {
        errno = EINVAL;
        return false;
    }
    m_width = int(format.fmt.pix.width);
    m_height = int(format.fmt.pix.height);
    m_stride = format.fmt.pix.bytesperline;
    avcodec_parameters_free(&m_parameters);
    m_parameters = avcodec_parameters_alloc();
    if (!m_parameters) {
        errno = ENOMEM;
        return false;
    }
    m_parameters->codec_type = AVMEDIA_TYPE_VIDEO;
    m_parameters->codec_id = coded ? coded->id : AV_CODEC_ID_RAWVIDEO;
    m_parameters->format = coded ? AV_PIX_FMT_NONE : pixels;
    m_parameters->width = m_width;
    m_parameters->height = m_height;
    setRate(attempt.fourcc ? attempt.fps : 0);
    return true;
}

void V4l2CaptureSource::setRate(double fps)
{
    v4l2_streamparm parameters{};
    parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (fps > 0) {
        // A camera without a settable rate keeps its own: not a failure.
        parameters.parm.capture.timeperframe = {1000, uint32_t(std::lround(fps * 1000))};
        retryIoctl(m_fd, VIDIOC_S_PARM, &parameters);
    }
    parameters = {};
    parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    const v4l2_fract& period = parameters.parm.capture.timeperframe;
    m_fps = retryIoctl(m_fd, VIDIOC_G_PARM, &parameters) == 0 && period.numerator > 0 &&
                    period.denominator > 0
                ? double(period.denominator) / period.numerator
                : fps;
}

bool V4l2CaptureSource::mapBuffers()
{
    v4l2_requestbuffers request{};
    request.count = kBufferCount;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (retryIoctl(m_fd, VIDIOC_REQBUFS, &request) != 0) {
        return false;
    }
    if (request.count == 0) {
        errno = ENOMEM;
        return false;
    }
    for (uint32_t index = 0; index < request.count; ++index) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        if (retryIoctl(m_fd, VIDIOC_QUERYBUF, &buffer) != 0) {
            return false;
        }
        void* start = ::mmap(nullptr, buffer.length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd,
                             off_t(buffer.m.offset));
        if (start == MAP_FAILED) {
            return false;
        }
        m_buffers.push_back({start, buffer.length});
    }
    return true;
}

bool V4l2CaptureSource::startStreaming()
{
    for (uint32_t index = 0; index < m_buffers.size(); ++index) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        if (retryIoctl(m_fd, VIDIOC_QBUF, &buffer) != 0) {
            return false;
        }
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (retryIoctl(m_fd, VIDIOC_STREAMON, &type) != 0) {
        return false;
    }
    m_streaming = true;
    return true;
}

void V4l2CaptureSource::release()
{
    const int error = errno; // what made a start fail is still to be told
    if (m_streaming) {
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        retryIoctl(m_fd, VIDIOC_STREAMOFF, &type);
        m_streaming = false;
    }
    for (const Mapping& mapping : m_buffers) {
        ::munmap(mapping.start, mapping.length);
    }
    if (m_fd >= 0) {
        if (!m_buffers.empty()) {
            // Gives the buffers back to the driver now rather than at close.
            v4l2_requestbuffers none{};
            none.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            none.memory = V4L2_MEMORY_MMAP;
            retryIoctl(m_fd, VIDIOC_REQBUFS, &none);
        }
        ::close(m_fd);
        m_fd = -1;
    }
    m_buffers.clear();
    errno = error;
}

FrameSource::ReadResult V4l2CaptureSource::read(AVPacket* packet)
{
    if (!m_streaming) {
        return ReadResult::Ended;
    }
    const int64_t until = av_gettime_relative() + kReadSliceUs;
    m_queuedTaken = 0;
    bool saidReady = false;
    while (!m_interrupted.load()) {
        switch (dequeue(packet)) {
        case Dequeue::Picture:
            return ReadResult::Packet;
        case Dequeue::Damaged:
            return ReadResult::Nothing;
        case Dequeue::Failed:
            return ReadResult::Ended;
        case Dequeue::Empty:
            break;
        }
        const int64_t left = until - av_gettime_relative();
        if (left <= 0) {
            return ReadResult::Nothing;
        }
        if (saidReady) {
            av_usleep(unsigned(std::min(left, kDistrustNapUs)));
            saidReady = false;
            continue;
        }
        saidReady = waitForPicture(int((left + 999) / 1000));
    }
    return ReadResult::Ended;
}

FrameSource::ReadResult V4l2CaptureSource::readQueued(AVPacket* packet)
{
    // Damaged pictures are passed over; a failure is left for read() to see.
    // No more than the buffers hold: what completes meanwhile, while each
    // copy takes its time, is the next read's, else a worker that copies
    // slower than the camera sends would never get back to its picture.
    while (m_streaming && !m_interrupted.load() && m_queuedTaken++ < m_buffers.size()) {
        const Dequeue result = dequeue(packet);
        if (result == Dequeue::Picture) {
            return ReadResult::Packet;
        }
        if (result != Dequeue::Damaged) {
            break;
        }
    }
    return ReadResult::Nothing;
}

bool V4l2CaptureSource::waitForPicture(int timeoutMs)
{
    pollfd wait[2] = {{m_fd, POLLIN, 0}, {m_wake, POLLIN, 0}};
    const int ready = retryOnInterrupt([&] { return ::poll(wait, 2, timeoutMs); });
    return ready > 0 && wait[0].revents != 0;
}

V4l2CaptureSource::Dequeue V4l2CaptureSource::dequeue(AVPacket* packet)
{
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    if (retryIoctl(m_fd, VIDIOC_DQBUF, &buffer) != 0) {
        if (errno == EAGAIN) {
            return Dequeue::Empty;
        }
        // ENODEV / EIO: the camera was unplugged or reset.
        qDebug().noquote() << "capture:" << m_path << "ended -" << errorText(errno);
        return Dequeue::Failed;
    }
    // The driver flags buffers damaged on the wire; the next is usually fine.
    const bool copied = !(buffer.flags & V4L2_BUF_FLAG_ERROR) && copyOut(buffer, packet);
    if (retryIoctl(m_fd, VIDIOC_QBUF, &buffer) != 0) {
        qDebug().noquote() << "capture:" << m_path << "took no buffer back -" << errorText(errno);
        av_packet_unref(packet);
        return Dequeue::Failed;
    }
    return copied ? Dequeue::Picture : Dequeue::Damaged;
}

bool V4l2CaptureSource::copyOut(const v4l2_buffer& buffer, AVPacket* packet) const
{
    av_packet_unref(packet);
    if (buffer.index >= m_buffers.size() || buffer.bytesused == 0 ||
        buffer.bytesused > m_buffers[buffer.index].length) {
        return false;
    }
    auto* bytes = static_cast<uint8_t*>(m_buffers[buffer.index].start);
    if (m_parameters->codec_id != AV_CODEC_ID_RAWVIDEO) {
        // Compressed pictures go on byte for byte: an H.264 recording
        // stores them as the camera made them.
        if (av_new_packet(packet, int(buffer.bytesused)) < 0) {
            return false;
        }
        std::memcpy(packet->data, bytes, buffer.bytesused);
    } else {
        // Lines as the driver lays them out (perhaps padded), planes one
        // after another; the packet gets them packed, as the decoder takes
        // raw pictures.
        const auto format = AVPixelFormat(m_parameters->format);
        int lines[4] = {};
        if (av_image_fill_linesizes(lines, format, m_width) < 0 || lines[0] <= 0) {
            return false;
        }
        const int64_t stride = std::max<int64_t>(m_stride, lines[0]);
        for (int& line : lines) {
            line = int(line * stride / lines[0]);
        }
        uint8_t* planes[4] = {};
        const int needed = av_image_fill_pointers(planes, format, m_height, bytes, lines);
        const int size = av_image_get_buffer_size(format, m_width, m_height, 1);
        if (needed <= 0 || uint32_t(needed) > buffer.bytesused || size <= 0 ||
            av_new_packet(packet, size) < 0) {
            return false;
        }
        av_image_copy_to_buffer(packet->data, size, planes, lines, format, m_width, m_height, 1);
    }
    // Every MJPEG or raw picture stands alone; of H.264 only those the
    // driver marks (uvcvideo marks none: the stream's own NAL units tell).
    const bool h264 = m_parameters->codec_id == AV_CODEC_ID_H264;
    if (!h264 || (buffer.flags & V4L2_BUF_FLAG_KEYFRAME)) {
        packet->flags |= AV_PKT_FLAG_KEY;
    }
    packet->pts = packet->dts = captureTime(buffer);
    return true;
}

void V4l2CaptureSource::interrupt()
{
    m_interrupted.store(true);
    if (m_wake >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wake, &one, sizeof one);
    }
}

const AVCodecParameters* V4l2CaptureSource::codecParameters() const
{
    return m_streaming ? m_parameters : nullptr;
}

double V4l2CaptureSource::frameRate() const
{
    return m_fps;
}

QString V4l2CaptureSource::describe() const
{
    return m_path;
}
