#include "simulatedvideostream.h"

#include "simulatedcamera.h"
#include "simulatedframerenderer.h"

#include <QDebug>
#include <QTime>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

using Clock = std::chrono::steady_clock;

// The camera's JPEG quality: about what UVC cameras send at 720p, a
// 100 to 200 KB picture.
constexpr int kJpegQuantiser = 4;

struct CodecDeleter
{
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter
{
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

std::unique_ptr<AVCodecContext, CodecDeleter> openJpegEncoder(int width, int height, int fps)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    if (!codec) {
        return nullptr;
    }
    std::unique_ptr<AVCodecContext, CodecDeleter> context(avcodec_alloc_context3(codec));
    context->width = width;
    context->height = height;
    context->pix_fmt = AV_PIX_FMT_YUVJ420P;
    context->color_range = AVCOL_RANGE_JPEG;
    context->time_base = AVRational{1, std::max(1, fps)};
    context->flags |= AV_CODEC_FLAG_QSCALE;
    context->global_quality = FF_QP2LAMBDA * kJpegQuantiser;
    // The camera is hardware; on the demo's two cores it must not compete
    // with the capture worker for more than its share.
    context->thread_count = 1;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        return nullptr;
    }
    return context;
}

// The N of "sim:videoN", stamped into the picture: tests tell identical
// cameras apart by what they show.
int nodeNumber(const QString& deviceName)
{
    bool ok = false;
    const int node = deviceName.mid(deviceName.lastIndexOf(QLatin1String("video")) + 5).toInt(&ok);
    return ok ? node : -1;
}

QString sceneOf(const SimulatedCameraConfig& config)
{
    return config.scene.isEmpty() ? qEnvironmentVariable("LUMORA_SIMULATED_SCENE") : config.scene;
}

} // namespace

struct SimulatedVideoStream::Impl
{
    std::shared_ptr<SimulatedCamera> camera;
    std::unique_ptr<SimulatedFrameRenderer> renderer;
    int fps;
    std::unique_ptr<AVCodecContext, CodecDeleter> encoder;
    std::unique_ptr<AVFrame, FrameDeleter> picture{av_frame_alloc()};
    int64_t frameIndex = 0;

    bool open = false;
    Clock::time_point started;
    Clock::time_point nextDue;
    Clock::time_point lastFrame;

    std::mutex wakeMutex;
    std::condition_variable wake;
    bool interrupted = false;

    Impl(std::shared_ptr<SimulatedCamera> cam)
        : camera(std::move(cam)), fps(std::clamp(camera->config().fps, 1, 120))
    {
        setMode(camera->config().width, camera->config().height, fps);
    }

    // A mode of another size draws another room: the renderer and the
    // encoder are made again.
    void setMode(int width, int height, int rate)
    {
        fps = std::clamp(rate, 1, 120);
        if (renderer && renderer->width() == (width & ~1) && renderer->height() == (height & ~1)) {
            return;
        }
        encoder.reset();
        renderer = std::make_unique<SimulatedFrameRenderer>(
            width, height, nodeNumber(camera->deviceName()), sceneOf(camera->config()));
    }

    bool ensureEncoder()
    {
        if (encoder) {
            return true;
        }
        encoder = openJpegEncoder(renderer->width(), renderer->height(), fps);
        if (!encoder) {
            qWarning() << "simulated camera: no MJPEG encoder";
            return false;
        }
        picture.reset(av_frame_alloc());
        picture->format = AV_PIX_FMT_YUVJ420P;
        picture->width = renderer->width();
        picture->height = renderer->height();
        return av_frame_get_buffer(picture.get(), 0) >= 0;
    }

    Clock::duration interval() const
    {
        return std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(1.0 / fps));
    }

    // False when interrupted.
    bool waitUntilDue()
    {
        std::unique_lock<std::mutex> lock(wakeMutex);
        return !wake.wait_until(lock, nextDue, [this] { return interrupted; });
    }
};

SimulatedVideoStream::SimulatedVideoStream(std::shared_ptr<SimulatedCamera> camera)
    : d(std::make_unique<Impl>(std::move(camera)))
{
}

SimulatedVideoStream::~SimulatedVideoStream()
{
    close();
}

bool SimulatedVideoStream::open(int width, int height, int fps)
{
    if (!d->open) {
        d->setMode(width, height, fps);
    }
    return open();
}

bool SimulatedVideoStream::open()
{
    if (d->open) {
        return true;
    }
    if (!d->ensureEncoder() || !d->camera->acquireStream()) {
        return false;
    }
    d->open = true;
    d->started = d->lastFrame = d->nextDue = Clock::now();
    return true;
}

void SimulatedVideoStream::close()
{
    if (d->open) {
        d->open = false;
        d->camera->releaseStream();
    }
}

bool SimulatedVideoStream::isOpen() const
{
    return d->open;
}

SimulatedVideoStream::ReadResult SimulatedVideoStream::read(AVPacket* packet)
{
    if (!d->open || !d->camera->isPlugged()) {
        return ReadResult::Ended;
    }
    if (!d->waitUntilDue()) {
        return ReadResult::Interrupted;
    }
    // Unplugged while waiting: the stream ends as a USB camera's does.
    if (!d->camera->isPlugged()) {
        return ReadResult::Ended;
    }
    const Clock::time_point now = Clock::now();
    d->camera->advanceMotion(std::chrono::duration<double>(now - d->lastFrame).count());
    d->lastFrame = now;
    d->nextDue += d->interval();
    if (d->nextDue < now) {
        d->nextDue = now + d->interval();
    }
    const double elapsed = std::chrono::duration<double>(now - d->started).count();
    if (!encode(d->camera->state(), QTime::currentTime().msecsSinceStartOfDay(), elapsed, packet)) {
        return ReadResult::Ended;
    }
    return ReadResult::Frame;
}

void SimulatedVideoStream::interrupt()
{
    {
        std::lock_guard<std::mutex> lock(d->wakeMutex);
        d->interrupted = true;
    }
    d->wake.notify_all();
}

bool SimulatedVideoStream::encode(const SimulatedCameraState& state, int msecsOfDay,
                                  double elapsedSeconds, AVPacket* packet)
{
    if (!d->ensureEncoder() || av_frame_make_writable(d->picture.get()) < 0) {
        return false;
    }
    AVFrame* f = d->picture.get();
    const SimulatedYuvPlanes planes{f->data[0],     f->data[1],     f->data[2],
                                    f->linesize[0], f->linesize[1], f->linesize[2]};
    d->renderer->render(state, msecsOfDay, elapsedSeconds, planes);
    f->pts = d->frameIndex++;
    av_packet_unref(packet);
    if (avcodec_send_frame(d->encoder.get(), f) < 0) {
        return false;
    }
    return avcodec_receive_packet(d->encoder.get(), packet) >= 0;
}

int SimulatedVideoStream::width() const
{
    return d->renderer->width();
}

int SimulatedVideoStream::height() const
{
    return d->renderer->height();
}

int SimulatedVideoStream::fps() const
{
    return d->fps;
}
