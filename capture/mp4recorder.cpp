#include "mp4recorder.h"

#include "audioencoder.h"
#include "librarypath.h"
#include "microphoneinput.h"
#include "mp4muxer.h"
#include "threadpriority.h"
#include "videoencoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/time.h>
}

#include <QDebug>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

namespace {

// One second of pictures: enough to ride out a busy moment of the
// machine, bounded so that a stalled encoder cannot eat the memory.
constexpr size_t kMaxQueuedFrames = 30;

// A copied stream's packets are timed in microseconds, as they are captured.
constexpr AVRational kCopiedTimeBase{1, 1000000};

// A decoded frame to encode, or a packet of a copied stream.
struct QueuedFrame
{
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    int64_t timeUs = 0;
};

} // namespace

struct Mp4Recorder::Impl
{
    std::unique_ptr<Mp4Muxer> muxer;
    std::unique_ptr<VideoEncoder> video;
    std::unique_ptr<AudioEncoder> audio;
    std::unique_ptr<MicrophoneInput> microphone;
    AVCodecParameters* copied = nullptr; // set: the camera's packets are stored as they are
    bool copying = false;                // in the recording that runs
    bool waitForKey = true; // a copied stream goes on from a key frame, also after a drop
    int64_t copiedPeriodUs = 33333;
    int64_t copiedLastUs = -1;
    int64_t copiedEndUs = 0;
    int64_t copiedCount = 0;
    int videoStream = -1;
    int audioStream = -1;
    int64_t originUs = 0;

    std::thread videoThread;
    std::thread audioThread;
    std::mutex queueMutex;
    std::condition_variable queueChanged;
    std::deque<QueuedFrame> queue;
    bool stopping = false;
    bool pictureQueued = false;

    std::atomic<bool> recording{false};
    std::atomic<bool> failed{false};
    std::atomic<int64_t> dropped{0};
    std::atomic<int64_t> recorded{0};
    std::function<void(const std::string&)> failureHandler;
    mutable std::mutex errorMutex;
    std::string error;

    ~Impl() { avcodec_parameters_free(&copied); }

    PacketSink sinkFor(int stream, const AVCodecContext* codec)
    {
        return [this, stream, codec](AVPacket* packet) {
            if (muxer->write(packet, stream, codec->time_base)) {
                return true;
            }
            reportFailure(muxer->errorText());
            return false;
        };
    }

    void setError(const std::string& text)
    {
        std::lock_guard<std::mutex> lock(errorMutex);
        error = text;
    }

    void reportFailure(const std::string& text)
    {
        if (failed.exchange(true)) {
            return;
        }
        setError(text);
        recording.store(false);
        qWarning() << "recording ended:" << QString::fromStdString(text);
        if (failureHandler) {
            failureHandler(text);
        }
    }

    bool openVideo(int width, int height, double fps, bool globalHeader, std::string* error)
    {
        copying = copied != nullptr;
        if (copying) {
            copiedPeriodUs = fps > 0 ? int64_t(std::llround(1e6 / fps)) : 33333;
            copiedLastUs = -1;
            copiedEndUs = copiedCount = 0;
            waitForKey = true;
            videoStream = muxer->addStream(copied, kCopiedTimeBase);
            if (videoStream < 0) {
                *error = "cannot add the camera's video stream";
            }
            return videoStream >= 0;
        }
        video = std::make_unique<VideoEncoder>();
        // Opened on a thread of its own a step down: the encoder's threads start
        // inside the open and keep that step, so the window's thread goes first
        // when they all want the processor at once.
        bool opened = false;
        std::thread opener([&] {
            lowerCurrentThreadPriority();
            opened = video->open(width, height, fps, globalHeader, error);
        });
        opener.join();
        if (opened) {
            videoStream = muxer->addStream(video->context());
        }
        return opened;
    }

    // The camera's packet as it came; only its times are the file's.
    bool writeCopied(AVPacket* packet, int64_t timeUs)
    {
        // The muxer takes only rising decoding times.
        const int64_t at = std::max(timeUs, copiedLastUs + 1);
        packet->pts = packet->dts = at;
        packet->duration = copiedPeriodUs;
        packet->pos = -1;
        copiedLastUs = at;
        copiedEndUs = at + copiedPeriodUs;
        ++copiedCount;
        return muxer->write(packet, videoStream, kCopiedTimeBase);
    }

    int64_t videoEndUs() const { return copying ? copiedEndUs : video->endUs(); }

    void runVideo()
    {
        lowerCurrentThreadPriority();
        const PacketSink sink = copying ? PacketSink() : sinkFor(videoStream, video->context());
        for (;;) {
            QueuedFrame next;
            {
                std::unique_lock<std::mutex> lock(queueMutex);
                queueChanged.wait(lock, [this] { return stopping || !queue.empty(); });
                if (queue.empty()) {
                    break;
                }
                next = queue.front();
                queue.pop_front();
            }
            const bool ok =
                failed.load() || (next.packet ? writeCopied(next.packet, next.timeUs)
                                              : video->encode(next.frame, next.timeUs, sink));
            av_frame_free(&next.frame);
            av_packet_free(&next.packet);
            if (!ok) {
                reportFailure(copying ? muxer->errorText() : "cannot encode the video");
            }
            recorded.store(copying ? copiedCount : video->framesEncoded());
        }
        if (!failed.load() && !copying) {
            video->finish(sink);
        }
    }

    void runAudio()
    {
        const PacketSink sink = sinkFor(audioStream, audio->context());
        std::vector<int16_t> samples;
        const int channels = microphone->channels();
        int64_t firstUs = 0;
        while (!failed.load() && microphone->read(samples, &firstUs)) {
            const int frames = int(samples.size()) / channels;
            if (!audio->addSamples(samples.data(), frames, firstUs - originUs, sink)) {
                return;
            }
        }
    }

    void clearQueue()
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        for (QueuedFrame& queued : queue) {
            av_frame_free(&queued.frame);
            av_packet_free(&queued.packet);
        }
        queue.clear();
    }
};

Mp4Recorder::Mp4Recorder() : d(std::make_unique<Impl>()) {}

Mp4Recorder::~Mp4Recorder()
{
    stop();
}

void Mp4Recorder::setFailureHandler(std::function<void(const std::string&)> handler)
{
    d->failureHandler = std::move(handler);
}

bool Mp4Recorder::start(const std::string& path, const std::string& microphoneName,
                        int microphoneOrdinal, int width, int height, double fps,
                        const std::string& microphoneId)
{
    stop();
    Impl& s = *d;
    s.failed.store(false);
    s.dropped.store(0);
    s.recorded.store(0);
    s.stopping = false;
    s.pictureQueued = false;
    s.setError(std::string());
    std::string error;
    auto fail = [&](const std::string& text) {
        s.setError(text);
        qWarning() << "recording not started:" << QString::fromStdString(text);
        s.microphone.reset();
        s.audio.reset();
        s.video.reset();
        if (s.muxer) {
            s.muxer->finish();
            s.muxer.reset();
            removeLibraryPath(path.c_str());
        }
        return false;
    };
    if (path.empty()) {
        return fail("no file name");
    }
    if (width <= 0 || height <= 0) {
        return fail("no picture size");
    }
    // The microphone first: when it cannot be opened no file is left.
    if (!microphoneName.empty()) {
        s.microphone = openMicrophone(microphoneName, microphoneOrdinal, &error, microphoneId);
        if (!s.microphone) {
            return fail(error);
        }
    }
    s.muxer = std::make_unique<Mp4Muxer>();
    if (!s.muxer->create(path, &error)) {
        s.muxer.reset();
        return fail(error);
    }
    const bool globalHeader = s.muxer->wantsGlobalHeader();
    if (!s.openVideo(width, height, fps, globalHeader, &error)) {
        return fail(error);
    }
    if (s.microphone) {
        s.audio = std::make_unique<AudioEncoder>();
        if (!s.audio->open(s.microphone->sampleRate(), s.microphone->channels(), globalHeader,
                           &error)) {
            return fail(error);
        }
        s.audioStream = s.muxer->addStream(s.audio->context());
    }
    if (!s.muxer->writeHeader(&error)) {
        return fail(error);
    }
    s.originUs = av_gettime_relative();
    s.recording.store(true);
    s.videoThread = std::thread([&s] { s.runVideo(); });
    if (s.microphone) {
        s.audioThread = std::thread([&s] { s.runAudio(); });
    }
    return true;
}

void Mp4Recorder::setCopiedStream(const AVCodecParameters* parameters)
{
    avcodec_parameters_free(&d->copied);
    if (parameters) {
        d->copied = avcodec_parameters_alloc();
        if (d->copied && avcodec_parameters_copy(d->copied, parameters) < 0) {
            avcodec_parameters_free(&d->copied);
        }
    }
}

void Mp4Recorder::pushVideoPacket(const AVPacket* packet, int64_t captureTimeUs)
{
    Impl& s = *d;
    if (!s.recording.load() || !s.copying || !packet) {
        return;
    }
    const int64_t timeUs = captureTimeUs - s.originUs;
    std::lock_guard<std::mutex> lock(s.queueMutex);
    if (timeUs < 0 || s.stopping || (s.waitForKey && !(packet->flags & AV_PKT_FLAG_KEY))) {
        return;
    }
    // Pictures after a lost one would be decoded against the wrong ones:
    // the file goes on at the next key frame.
    AVPacket* queued = s.queue.size() < kMaxQueuedFrames ? av_packet_clone(packet) : nullptr;
    s.waitForKey = !queued;
    if (!queued) {
        ++s.dropped;
        return;
    }
    s.queue.push_back({nullptr, queued, s.pictureQueued ? timeUs : 0});
    s.pictureQueued = true;
    s.queueChanged.notify_one();
}

void Mp4Recorder::pushVideoFrame(const AVFrame* frame, int64_t captureTimeUs)
{
    Impl& s = *d;
    if (!s.recording.load() || s.copying || !frame) {
        return;
    }
    // A frame captured before the recording began belongs to the preview.
    const int64_t timeUs = captureTimeUs - s.originUs;
    if (timeUs < 0) {
        return;
    }
    std::lock_guard<std::mutex> lock(s.queueMutex);
    if (s.stopping) {
        return;
    }
    if (s.queue.size() >= kMaxQueuedFrames) {
        ++s.dropped;
        return;
    }
    // A new reference, not a copy: the pixels are converted on the
    // encoder's thread, so the capture worker only pays for the queueing.
    AVFrame* queued = av_frame_clone(frame);
    if (!queued) {
        ++s.dropped;
        return;
    }
    // The file has no edit list to start the tracks apart: the first
    // picture is shown from the moment the recording began, as the sound
    // is, instead of leaving the muxer to stretch it back to zero.
    s.queue.push_back({queued, nullptr, s.pictureQueued ? timeUs : 0});
    s.pictureQueued = true;
    s.queueChanged.notify_one();
}

bool Mp4Recorder::stop()
{
    Impl& s = *d;
    if (!s.muxer) {
        return false;
    }
    s.recording.store(false);
    {
        std::lock_guard<std::mutex> lock(s.queueMutex);
        s.stopping = true;
    }
    s.queueChanged.notify_all();
    // Sound ends now, as the pictures do; the pictures still queued are
    // encoded, since they were captured while the recording ran.
    if (s.microphone) {
        s.microphone->interrupt();
    }
    if (s.audioThread.joinable()) {
        s.audioThread.join();
    }
    if (s.videoThread.joinable()) {
        s.videoThread.join();
    }
    if (s.audio && !s.failed.load()) {
        // The last block of sound is still in the device when the
        // pictures end; silence up to their end keeps both streams equally
        // long.
        const PacketSink sink = s.sinkFor(s.audioStream, s.audio->context());
        if (s.audio->padTo(s.videoEndUs(), sink)) {
            s.audio->finish(sink);
        }
    }
    s.clearQueue();
    const bool complete = s.muxer->finish() && !s.failed.load();
    if (!complete && !s.failed.load()) {
        s.setError(s.muxer->errorText());
    }
    s.microphone.reset();
    s.audio.reset();
    s.video.reset();
    s.muxer.reset();
    s.videoStream = s.audioStream = -1;
    return complete;
}

bool Mp4Recorder::isRecording() const
{
    return d->recording.load();
}

std::string Mp4Recorder::errorText() const
{
    std::lock_guard<std::mutex> lock(d->errorMutex);
    return d->error;
}

int64_t Mp4Recorder::droppedFrames() const
{
    return d->dropped.load();
}

int64_t Mp4Recorder::recordedFrames() const
{
    return d->recorded.load();
}
