#pragma once

#include "capturedevice.h"
#include "capturemode.h"
#include "framehandoff.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct AVCodecParameters;
class FrameDecoder;
class FrameSource;
class H264Inspector;
class Mp4Recorder;
class QObject;
class PlaneDecimator;
class QTimer;
class RgbConverter;

// One capture at a time, run by a worker thread: open the device, read,
// decode, hand every decoded frame (or, of an H.264 camera, every packet as
// it came) to a running recording, convert to RGB888 at the requested mode's
// size, or straight to the preview's size once one is set, and pass it to the
// GUI thread with a reference to the decoded picture, from which the
// requested size is still had on demand.
//
// Recorder seam: the session reads the recorder slot it was given with
// std::atomic_load, once per frame, so whoever sets or resets that slot
// while a capture runs must do so with std::atomic_store. The frame is
// pushed before RGB conversion, in the decoder's pixel format.
class CaptureSession
{
public:
    CaptureSession(QObject* context, FrameHandoff::Deliver deliver,
                   const std::shared_ptr<Mp4Recorder>* recorderSlot);
    ~CaptureSession();
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // Runs on the context's thread with the outcome of a begin().
    using Settled = std::function<void(bool open)>;

    // Stops a running capture, then opens the named device and waits for
    // its first frame, for at most kOpenTimeoutMs. True when frames flow.
    bool start(const CaptureTarget& target, const CaptureMode& mode);
    // Stops a running capture and starts opening the named device on the
    // worker without waiting for it. settled runs once, on the context's
    // thread, when the first frame came (true) or the device failed to open
    // or gave no picture within kOpenTimeoutMs (false); also when no such
    // camera is known, in which case begin() returns false. A stop() or
    // another start before then cancels it: settled never runs for a capture
    // that is no longer the current one.
    bool begin(const CaptureTarget& target, const CaptureMode& mode, Settled settled);
    // Ends the capture and waits for the worker. Harmless at any time.
    void stop();
    // True from the first frame until the capture stops or the device
    // goes away.
    bool isOpen() const { return m_open.load(); }

    // The decoded frames as the recorder gets them (the camera's own size,
    // which may differ from the requested one) and the camera's rate.
    // Callable from any thread; 0 while no capture is open.
    int frameWidth() const { return m_frameWidth.load(); }
    int frameHeight() const { return m_frameHeight.load(); }
    double frameRate() const { return m_frameRate.load(); }

    // The camera's stream as a recording can store it without decoding it
    // (H.264, with the parameter sets it carried as extradata); null for
    // streams that are encoded again, and until parameter sets came.
    // Callable from any thread. Every packet of such a stream goes to a
    // running recorder as well, with its key flag set as it deserves.
    std::shared_ptr<const AVCodecParameters> copiedStream() const;

    // The size the window shows pictures at: from the next picture on, the
    // worker converts to the requested mode's picture fitted whole into it
    // instead of to the mode's size. 0 x 0 goes back to the mode's size.
    // Callable from any thread.
    void setPreviewSize(int width, int height);
    // The picture delivered last, with its decoded original; the context's
    // thread only, valid until control returns to its event loop.
    const FrameHandoff::Picture* deliveredPicture() const { return m_handoff.delivered(); }

    // True while the worker thread runs (it ends by itself when the device
    // goes away).
    bool isWorkerRunning() const { return m_workerRunning.load(); }

    static constexpr int kOpenTimeoutMs = 5000;
    // A camera that sends nothing decodable this long counts as gone.
    static constexpr int kStallTimeoutMs = 5000;
    // A stop waits this long for a device still being opened; beyond it
    // the opening worker is left behind rather than waited for.
    static constexpr int kOpenGraceMs = 1000;

private:
    enum class Phase
    {
        Opening,
        Running,
        Failed,
        Ended,
    };

    // Shared by the session and its worker while the device is being
    // opened, the one call a driver may never return from. A worker
    // abandoned there ends on its own and touches nothing of the session.
    struct OpenGate
    {
        std::mutex mutex;
        std::condition_variable left;
        bool opening = true;
        bool abandoned = false;
    };

    bool launch(const CaptureTarget& target, const CaptureMode& mode);
    void run(CaptureDevice device, CaptureMode mode, std::shared_ptr<OpenGate> gate);
    bool leaveOpenGate(OpenGate& gate);
    void joinOrAbandonWorker();
    void postSettled(unsigned generation);
    void settle(unsigned generation);
    void giveUpOpening();
    void readLoop(FrameSource& source, int width, int height);
    void readPackets(FrameSource& source, FrameDecoder& decoder, int width, int height);
    bool convert(const struct AVFrame* frame, int width, int height, FrameHandoff::Picture& out);
    void setPhase(Phase phase);
    void pushToRecorder(const struct AVFrame* frame, int64_t captureTimeUs);
    void passOn(struct AVPacket* packet, int64_t captureTimeUs);
    void publishCopiedStream(const std::vector<uint8_t>& parameterSets);
    bool recording() const;
    void catchUp(FrameSource& source, FrameDecoder& decoder, struct AVPacket* packet,
                 struct AVPacket* spare, int64_t now);

    FrameHandoff m_handoff;
    // Lives on the context's thread: outcomes of begin() are queued to it,
    // and deleting it with the session drops those not yet run.
    std::unique_ptr<QObject> m_receiver;
    QTimer* m_openTimer; // child of m_receiver
    // Counts starts and stops; only touched on the context's thread. An
    // outcome carries the count of its start and is dropped when the count
    // has moved on.
    unsigned m_generation = 0;
    Settled m_settled;
    QString m_deviceLabel;
    // The count of the start the worker serves; set before it starts.
    unsigned m_workerGeneration = 0;
    const std::shared_ptr<Mp4Recorder>* m_recorderSlot;

    std::thread m_worker;
    std::shared_ptr<OpenGate> m_gate;
    bool m_givenUp = false; // the current start outlived kOpenTimeoutMs
    // The stream's pictures can be left undecoded (MJPEG, raw); worker only.
    bool m_skippable = false;
    // Worker only, while the stream is H.264: what the packets carry.
    H264Inspector* m_inspector = nullptr;
    const AVCodecParameters* m_sourceParameters = nullptr;
    mutable std::mutex m_copiedMutex;
    std::shared_ptr<const AVCodecParameters> m_copied; // guarded by m_copiedMutex
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_open{false};
    std::atomic<bool> m_workerRunning{false};
    std::atomic<int> m_frameWidth{0};
    std::atomic<int> m_frameHeight{0};
    std::atomic<double> m_frameRate{0};
    // Width in the high 16 bits, height in the low: one load gives both.
    std::atomic<uint32_t> m_previewSize{0};
    // Worker only: full-size pictures as the receivers always had them,
    // and the preview's, shrunk by nearest pixel as the window did.
    std::unique_ptr<RgbConverter> m_fullConverter;
    std::unique_ptr<RgbConverter> m_previewConverter;
    std::unique_ptr<PlaneDecimator> m_decimator;

    std::mutex m_mutex;
    std::condition_variable m_phaseChanged;
    Phase m_phase = Phase::Ended;    // guarded by m_mutex
    FrameSource* m_source = nullptr; // guarded by m_mutex, for interrupt()
};
