#include "capturesession.h"

#include "capturedevice.h"
#include "framedecoder.h"
#include "framesourcefactory.h"
#include "h264inspector.h"
#include "mp4recorder.h"
#include "planedecimator.h"
#include "rgbconverter.h"
#include "threadpriority.h"

#include <QDebug>
#include <QMetaObject>
#include <QObject>
#include <QSize>
#include <QTimer>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/time.h>
}

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace {

struct PacketDeleter
{
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};

// At most this many waiting pictures are taken in one go: more than a
// source's driver keeps queued (uvcvideo gives up to 32 buffers).
constexpr size_t kMaxCatchUp = 64;

// Pictures that need none before them can be left undecoded.
bool intraOnly(const AVCodecParameters* parameters)
{
    const AVCodecDescriptor* codec = avcodec_descriptor_get(parameters->codec_id);
    return codec && (codec->props & AV_CODEC_PROP_INTRA_ONLY);
}

// When the packet's picture was captured: its own stamp (the kernel's, for
// a V4L2 camera), else the moment it was read.
int64_t captureTime(const AVPacket* packet, int64_t readUs)
{
    return packet->pts != AV_NOPTS_VALUE ? packet->pts : readUs;
}

// The asked picture fitted whole into the preview, as the window letterboxes
// it, an even number of pixels wide (the fast converters work on pixel
// pairs); empty while no preview size is set, or when the preview would not
// be smaller than the asked picture and converting to that is no dearer.
QSize fittedPreviewSize(const QSize& asked, uint32_t packedPreview)
{
    const QSize box(int(packedPreview >> 16), int(packedPreview & 0xffff));
    if (box.isEmpty() || asked.isEmpty()) {
        return QSize();
    }
    QSize fitted = asked.scaled(box, Qt::KeepAspectRatio);
    fitted = QSize(std::max(2, fitted.width() & ~1), std::max(1, fitted.height()));
    return fitted.width() < asked.width() ? fitted : QSize();
}

} // namespace

CaptureSession::CaptureSession(QObject* context, FrameHandoff::Deliver deliver,
                               const std::shared_ptr<Mp4Recorder>* recorderSlot)
    : m_handoff(context, std::move(deliver)), m_receiver(std::make_unique<QObject>()),
      m_openTimer(new QTimer(m_receiver.get())), m_recorderSlot(recorderSlot),
      m_fullConverter(std::make_unique<RgbConverter>()),
      m_previewConverter(std::make_unique<RgbConverter>(RgbConverter::Scaling::Nearest)),
      m_decimator(std::make_unique<PlaneDecimator>())
{
    m_openTimer->setSingleShot(true);
    m_openTimer->setInterval(kOpenTimeoutMs);
    QObject::connect(m_openTimer, &QTimer::timeout, m_receiver.get(), [this] {
        giveUpOpening();
        settle(m_generation);
    });
    if (context && context->thread() != m_receiver->thread()) {
        m_receiver->moveToThread(context->thread());
    }
}

CaptureSession::~CaptureSession()
{
    stop();
}

bool CaptureSession::launch(const CaptureTarget& target, const CaptureMode& mode)
{
    stop();
    const CaptureDevice device = resolveCaptureDevice(target);
    if (device.isNull()) {
        qDebug().noquote() << "capture: no camera" << QString::fromStdString(target.name) << "#"
                           << target.ordinal << QString::fromStdString(target.deviceName);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_phase = Phase::Opening;
        m_source = nullptr;
    }
    m_stop.store(false);
    m_workerRunning.store(true);
    m_deviceLabel = device.deviceName;
    m_workerGeneration = m_generation;
    m_givenUp = false;
    m_gate = std::make_shared<OpenGate>();
    m_worker = std::thread(&CaptureSession::run, this, device, mode, m_gate);
    return true;
}

bool CaptureSession::start(const CaptureTarget& target, const CaptureMode& mode)
{
    if (!launch(target, mode)) {
        return false;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    const bool settled = m_phaseChanged.wait_for(lock, std::chrono::milliseconds(kOpenTimeoutMs),
                                                 [this] { return m_phase != Phase::Opening; });
    const bool running = m_phase == Phase::Running;
    lock.unlock();
    if (!settled) {
        giveUpOpening();
        return false;
    }
    if (!running) {
        stop();
    }
    return running;
}

bool CaptureSession::begin(const CaptureTarget& target, const CaptureMode& mode, Settled settled)
{
    const bool launched = launch(target, mode);
    m_settled = std::move(settled);
    if (!launched) {
        postSettled(m_generation);
        return false;
    }
    m_openTimer->start();
    return true;
}

void CaptureSession::giveUpOpening()
{
    // A driver stuck in open() must not hold the GUI thread as well: the
    // worker is told to give up, and the next stop leaves it behind if it
    // is still inside open().
    qWarning().noquote() << "capture:" << m_deviceLabel << "gave no picture in" << kOpenTimeoutMs
                         << "ms";
    m_givenUp = true;
    m_stop.store(true);
    m_open.store(false);
    std::lock_guard<std::mutex> sourceLock(m_mutex);
    if (m_source) {
        m_source->interrupt();
    }
}

void CaptureSession::postSettled(unsigned generation)
{
    QMetaObject::invokeMethod(
        m_receiver.get(), [this, generation] { settle(generation); }, Qt::QueuedConnection);
}

void CaptureSession::settle(unsigned generation)
{
    if (generation != m_generation || !m_settled) {
        return;
    }
    m_openTimer->stop();
    const Settled settled = std::move(m_settled);
    m_settled = nullptr;
    settled(m_open.load());
}

void CaptureSession::stop()
{
    // Outcomes of the start being stopped, queued or still to come, are
    // dropped from here on.
    ++m_generation;
    m_settled = nullptr;
    m_openTimer->stop();
    m_stop.store(true);
    m_open.store(false);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_source) {
            m_source->interrupt();
        }
    }
    joinOrAbandonWorker();
    m_handoff.clear();
    m_frameWidth.store(0);
    m_frameHeight.store(0);
    m_frameRate.store(0);
}

void CaptureSession::joinOrAbandonWorker()
{
    if (!m_worker.joinable()) {
        return;
    }
    {
        std::unique_lock<std::mutex> lock(m_gate->mutex);
        const auto grace = std::chrono::milliseconds(m_givenUp ? 0 : kOpenGraceMs);
        if (!m_gate->left.wait_for(lock, grace, [this] { return !m_gate->opening; })) {
            // Still inside the driver's open(): joining could freeze the
            // caller (the GUI) for as long as the driver takes, perhaps
            // for ever. The worker closes the device if open() ever returns.
            qWarning().noquote() << "capture:" << m_deviceLabel
                                 << "is still being opened; leaving it behind";
            m_gate->abandoned = true;
            {
                std::lock_guard<std::mutex> sourceLock(m_mutex);
                m_source = nullptr;
                m_phase = Phase::Failed;
            }
            m_worker.detach();
            m_workerRunning.store(false);
            return;
        }
    }
    m_worker.join();
}

// Called by the worker when open() returned; false when it was left behind
// meanwhile and must touch nothing of the session any more.
bool CaptureSession::leaveOpenGate(OpenGate& gate)
{
    {
        std::lock_guard<std::mutex> lock(gate.mutex);
        if (gate.abandoned) {
            return false;
        }
        gate.opening = false;
    }
    gate.left.notify_all();
    return true;
}

void CaptureSession::setPhase(Phase phase)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_phase = phase;
    }
    m_phaseChanged.notify_all();
}

void CaptureSession::run(CaptureDevice device, CaptureMode mode, std::shared_ptr<OpenGate> gate)
{
    pthread_setname_np(pthread_self(), "lumora-capture");
    // Decoding keeps up with the camera on average; on a busy machine it
    // must not keep the window's thread waiting for its turn.
    lowerCurrentThreadPriority();
    const QString deviceLabel = device.deviceName;
    // Even making the source can take a while (a simulated camera draws
    // its scene first): that is the worker's time, not the caller's.
    std::unique_ptr<FrameSource> source = createFrameSource(device.deviceName);
    bool stopped = false;
    {
        // Until open() has returned, the session is reached only while the
        // gate says it still waits for this worker.
        std::lock_guard<std::mutex> gateLock(gate->mutex);
        if (gate->abandoned) {
            return;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_source = source.get();
        // A stop that came before the source was known could not
        // interrupt it; it is seen here instead.
        stopped = m_stop.load();
    }
    const bool opened = !stopped && source->open(mode);
    if (!leaveOpenGate(*gate)) {
        return; // the source closes the device as it goes
    }
    if (opened && !m_stop.load()) {
        readLoop(*source, mode.width(), mode.height());
    } else {
        qDebug().noquote() << "capture:" << deviceLabel << "could not be opened";
    }
    m_open.store(false);
    bool failed = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_source = nullptr;
        failed = m_phase == Phase::Opening;
        m_phase = failed ? Phase::Failed : Phase::Ended;
    }
    m_phaseChanged.notify_all();
    if (failed) {
        postSettled(m_workerGeneration);
    }
    source.reset(); // gives the device back before the thread is seen to end
    m_workerRunning.store(false);
}

void CaptureSession::readLoop(FrameSource& source, int width, int height)
{
    FrameDecoder decoder;
    if (!decoder.open(source.codecParameters(), 1)) {
        qWarning().noquote() << "capture:" << source.describe() << "sends an undecodable format";
        return;
    }
    H264Inspector inspector;
    m_sourceParameters = source.codecParameters();
    const bool copyable = m_sourceParameters->codec_id == AV_CODEC_ID_H264;
    m_inspector = copyable && inspector.open(m_sourceParameters) ? &inspector : nullptr;
    readPackets(source, decoder, width, height);
    m_inspector = nullptr;
    std::lock_guard<std::mutex> lock(m_copiedMutex);
    m_copied.reset();
}

void CaptureSession::readPackets(FrameSource& source, FrameDecoder& decoder, int width, int height)
{
    m_frameRate.store(source.frameRate());
    m_skippable = intraOnly(source.codecParameters());
    FrameHandoff::Picture picture;
    std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
    std::unique_ptr<AVPacket, PacketDeleter> spare(av_packet_alloc());
    int64_t lastPicture = av_gettime_relative();
    bool first = true;

    while (!m_stop.load()) {
        const FrameSource::ReadResult result = source.read(packet.get());
        if (result == FrameSource::ReadResult::Ended) {
            break;
        }
        const int64_t now = av_gettime_relative();
        if (result == FrameSource::ReadResult::Packet) {
            catchUp(source, decoder, packet.get(), spare.get(), now);
        }
        const int64_t captured = captureTime(packet.get(), now);
        if (result == FrameSource::ReadResult::Packet) {
            passOn(packet.get(), captured);
        }
        const AVFrame* frame =
            result == FrameSource::ReadResult::Packet ? decoder.decode(packet.get()) : nullptr;
        av_packet_unref(packet.get());
        if (!frame) {
            if (now - lastPicture > int64_t(kStallTimeoutMs) * 1000) {
                qDebug().noquote() << "capture:" << source.describe() << "stopped sending";
                break;
            }
            continue;
        }
        lastPicture = now;
        m_frameWidth.store(frame->width);
        m_frameHeight.store(frame->height);
        pushToRecorder(frame, captured);
        if (!convert(frame, width, height, picture)) {
            continue;
        }
        if (first) {
            first = false;
            m_open.store(!m_stop.load());
            setPhase(Phase::Running);
            postSettled(m_workerGeneration);
        }
        m_handoff.publish(picture);
        // What came back is a picture already shown or passed over.
        picture.decoded.release();
    }
}

bool CaptureSession::convert(const AVFrame* frame, int width, int height,
                             FrameHandoff::Picture& out)
{
    const QSize preview = fittedPreviewSize(QSize(width, height), m_previewSize.load());
    out.askedWidth = width;
    out.askedHeight = height;
    out.scaledForPreview = !preview.isEmpty();
    bool converted = false;
    if (out.scaledForPreview) {
        const AVFrame* small = m_decimator->shrink(frame, preview.width(), preview.height());
        converted = m_previewConverter->convert(small ? small : frame, preview.width(),
                                                preview.height(), out.rgb);
    } else {
        converted = m_fullConverter->convert(frame, width, height, out.rgb);
    }
    // Without the decoded picture no full-size one can be made later: the
    // preview alone would be a lesser frame than the receivers are owed.
    return converted && (!out.scaledForPreview || out.decoded.keep(frame));
}

void CaptureSession::setPreviewSize(int width, int height)
{
    const bool valid = width > 0 && height > 0 && width < 65536 && height < 65536;
    m_previewSize.store(valid ? uint32_t(width) << 16 | uint32_t(height) : 0);
}

void CaptureSession::catchUp(FrameSource& source, FrameDecoder& decoder, AVPacket* packet,
                             AVPacket* spare, int64_t now)
{
    // The driver hands out pictures oldest first. When the worker has
    // fallen behind (a loaded machine), the preview goes on with the newest
    // one waiting, so that it never shows the past; the older ones still
    // go to a recording, at their own time, or dated back one frame period
    // each when they carry none.
    std::vector<std::unique_ptr<AVPacket, PacketDeleter>> older;
    while (older.size() < kMaxCatchUp &&
           source.readQueued(spare) == FrameSource::ReadResult::Packet) {
        older.emplace_back(av_packet_alloc());
        av_packet_move_ref(older.back().get(), packet);
        av_packet_move_ref(packet, spare);
    }
    if (older.empty()) {
        return;
    }
    const bool keep = recording();
    const double rate = m_frameRate.load();
    const int64_t periodUs = rate > 0 ? int64_t(1e6 / rate) : 33333;
    for (size_t i = 0; i < older.size(); ++i) {
        if (!keep && m_skippable) {
            continue;
        }
        const int64_t dated = now - int64_t(older.size() - i) * periodUs;
        const int64_t captured = captureTime(older[i].get(), dated);
        passOn(older[i].get(), captured);
        const AVFrame* frame = decoder.decode(older[i].get());
        if (frame && keep) {
            pushToRecorder(frame, captured);
        }
    }
}

bool CaptureSession::recording() const
{
    if (!m_recorderSlot) {
        return false;
    }
    const std::shared_ptr<Mp4Recorder> recorder = std::atomic_load(m_recorderSlot);
    return recorder && recorder->isRecording();
}

void CaptureSession::pushToRecorder(const AVFrame* frame, int64_t captureTimeUs)
{
    if (!m_recorderSlot) {
        return;
    }
    const std::shared_ptr<Mp4Recorder> recorder = std::atomic_load(m_recorderSlot);
    if (recorder && recorder->isRecording()) {
        recorder->pushVideoFrame(frame, captureTimeUs);
    }
}

void CaptureSession::passOn(AVPacket* packet, int64_t captureTimeUs)
{
    if (!m_inspector) {
        return;
    }
    if (m_inspector->inspect(packet)) {
        publishCopiedStream(m_inspector->parameterSets());
    }
    const std::shared_ptr<Mp4Recorder> recorder =
        m_recorderSlot ? std::atomic_load(m_recorderSlot) : nullptr;
    if (recorder && recorder->isRecording()) {
        recorder->pushVideoPacket(packet, captureTimeUs);
    }
}

void CaptureSession::publishCopiedStream(const std::vector<uint8_t>& parameterSets)
{
    std::shared_ptr<AVCodecParameters> copied(
        avcodec_parameters_alloc(), [](AVCodecParameters* p) { avcodec_parameters_free(&p); });
    if (!copied || avcodec_parameters_copy(copied.get(), m_sourceParameters) < 0) {
        return;
    }
    av_freep(&copied->extradata);
    copied->extradata =
        static_cast<uint8_t*>(av_mallocz(parameterSets.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!copied->extradata) {
        return;
    }
    std::copy(parameterSets.begin(), parameterSets.end(), copied->extradata);
    copied->extradata_size = int(parameterSets.size());
    std::lock_guard<std::mutex> lock(m_copiedMutex);
    m_copied = std::move(copied);
}

std::shared_ptr<const AVCodecParameters> CaptureSession::copiedStream() const
{
    std::lock_guard<std::mutex> lock(m_copiedMutex);
    return m_copied;
}
