#include "libavdevicesource.h"

#include <QDebug>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavformat/avformat.h>
#include <libavutil/time.h>
}

#include <algorithm>
#include <mutex>

namespace {

// Between two frames of a 30 fps camera the worker looks in a few times;
// a shorter nap would only burn the core the decoder needs.
constexpr int kIdleNapUs = 4000;
// How long read() waits for a picture before handing control back, so the
// worker can notice a stop request or a stalled camera.
constexpr int64_t kReadSliceUs = 100000;

void registerDevices()
{
    static std::once_flag once;
    std::call_once(once, [] { avdevice_register_all(); });
}

int interruptCallback(void* opaque)
{
    return static_cast<std::atomic<bool>*>(opaque)->load() ? 1 : 0;
}

QString errorText(int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

// The inputs stamp packets on clocks of their own (dshow: the graph's),
// not the capture's: the picture goes unstamped, and the capture dates it
// by its arrival (and a caught-up one a frame period back each).
void clearStamp(AVPacket* packet)
{
    packet->pts = packet->dts = AV_NOPTS_VALUE;
}

} // namespace

LibavdeviceSource::LibavdeviceSource(const char* inputName, const QString& url,
                                     const char* codecOption)
    : m_inputName(inputName), m_url(url), m_codecOption(codecOption)
{
}

LibavdeviceSource::~LibavdeviceSource()
{
    closeInput();
}

bool LibavdeviceSource::openFirst(const QList<Attempt>& attempts)
{
    registerDevices();
    for (const Attempt& attempt : attempts) {
        if (m_interrupted.load()) {
            return false;
        }
        if (openWith(attempt)) {
            return true;
        }
    }
    return false;
}

bool LibavdeviceSource::openWith(const Attempt& attempt)
{
    closeInput();
    AVDictionary* options = nullptr;
    if (!attempt.codec.isEmpty()) {
        av_dict_set(&options, m_codecOption, attempt.codec.toLatin1().constData(), 0);
    } else if (!attempt.pixelFormat.isEmpty()) {
        av_dict_set(&options, "pixel_format", attempt.pixelFormat.toLatin1().constData(), 0);
    }
    if (attempt.width > 0 && attempt.height > 0) {
        const QByteArray size =
            QByteArray::number(attempt.width) + 'x' + QByteArray::number(attempt.height);
        av_dict_set(&options, "video_size", size.constData(), 0);
    }
    if (attempt.fps > 0) {
        av_dict_set(&options, "framerate", QByteArray::number(attempt.fps).constData(), 0);
    }
    AVFormatContext* input = avformat_alloc_context();
    if (!input) {
        av_dict_free(&options);
        return false;
    }
    input->flags |= AVFMT_FLAG_NONBLOCK;
    input->interrupt_callback.callback = &interruptCallback;
    input->interrupt_callback.opaque = &m_interrupted;
    const AVInputFormat* format = av_find_input_format(m_inputName);
    const int result =
        format ? avformat_open_input(&input, m_url.toUtf8().constData(), format, &options)
               : AVERROR_DEMUXER_NOT_FOUND;
    av_dict_free(&options);
    if (result < 0) {
        if (!format) {
            avformat_free_context(input);
        }
        qDebug().noquote() << "capture:" << m_url << "did not open as"
                           << (!attempt.codec.isEmpty()         ? attempt.codec
                               : !attempt.pixelFormat.isEmpty() ? attempt.pixelFormat
                                                                : QStringLiteral("default"))
                           << "-" << errorText(result);
        return false; // avformat_open_input frees the context on failure
    }
    m_input = input;
    m_stream = av_find_best_stream(m_input, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (m_stream < 0) {
        closeInput();
        return false;
    }
    const AVCodecParameters* p = m_input->streams[m_stream]->codecpar;
    qDebug().noquote() << "capture:" << m_url << "streams" << avcodec_get_name(p->codec_id)
                       << p->width << "x" << p->height << "at" << frameRate() << "fps";
    return true;
}

void LibavdeviceSource::closeInput()
{
    if (m_input) {
        avformat_close_input(&m_input);
    }
    m_stream = -1;
}

FrameSource::ReadResult LibavdeviceSource::read(AVPacket* packet)
{
    if (!m_input) {
        return ReadResult::Ended;
    }
    const int64_t until = av_gettime_relative() + kReadSliceUs;
    int round = 0;
    while (!m_interrupted.load()) {
        av_packet_unref(packet);
        const int result = av_read_frame(m_input, packet);
        if (result >= 0) {
            if (packet->stream_index == m_stream) {
                clearStamp(packet);
                return ReadResult::Packet;
            }
            continue;
        }
        if (result == AVERROR(EAGAIN)) {
            const int64_t left = until - av_gettime_relative();
            if (left <= 0) {
                return ReadResult::Nothing;
            }
            waitForPicture(left, round++);
            continue;
        }
        // The driver flags damaged buffers; the next one is usually fine.
        if (result == AVERROR_INVALIDDATA) {
            return ReadResult::Nothing;
        }
        // ENODEV / EIO: the camera was unplugged or reset.
        qDebug().noquote() << "capture:" << m_url << "ended -" << errorText(result);
        return ReadResult::Ended;
    }
    return ReadResult::Ended;
}

void LibavdeviceSource::waitForPicture(int64_t timeoutUs, int)
{
    av_usleep(unsigned(std::min<int64_t>(timeoutUs, kIdleNapUs)));
}

FrameSource::ReadResult LibavdeviceSource::readQueued(AVPacket* packet)
{
    // The input is non-blocking: EAGAIN says the driver holds no picture.
    while (m_input && !m_interrupted.load()) {
        av_packet_unref(packet);
        if (av_read_frame(m_input, packet) < 0) {
            break;
        }
        if (packet->stream_index == m_stream) {
            clearStamp(packet);
            return ReadResult::Packet;
        }
    }
    return ReadResult::Nothing;
}

void LibavdeviceSource::interrupt()
{
    m_interrupted.store(true);
}

const AVCodecParameters* LibavdeviceSource::codecParameters() const
{
    return m_input && m_stream >= 0 ? m_input->streams[m_stream]->codecpar : nullptr;
}

double LibavdeviceSource::frameRate() const
{
    if (!m_input || m_stream < 0) {
        return 0;
    }
    const AVStream* stream = m_input->streams[m_stream];
    AVRational rate = stream->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) {
        rate = stream->r_frame_rate;
    }
    return rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0.0;
}

QString LibavdeviceSource::describe() const
{
    return m_url;
}
