#pragma once

#include "capturemode.h"
#include "framehandoff.h"
#include "vorn_ffmpeglib_export.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CaptureSession;
class Mp4Recorder;
class RgbConverter;

// Camera capture and MP4 recording. Frames are decoded and converted on a
// worker thread and handed to the GUI thread, where frameBuffer (and, once a
// preview size is set, previewBuffer) is emitted; when the GUI is slow the
// newest frame replaces an undelivered one.
class VORN_FFMPEGLIB_EXPORT Vorn_FFmpeglib : public QObject
{
    Q_OBJECT
public:
    explicit Vorn_FFmpeglib(QObject* parent = nullptr);
    ~Vorn_FFmpeglib() override;

    // "WIDTHxHEIGHT", e.g. "1280x720": the size asked of the camera, at
    // 30 fps in the best format it has there.
    void SetVideoSize(std::string size);
    // "WIDTHxHEIGHT@FPS[/FORMAT]" (CaptureMode's form), e.g.
    // "1920x1080@60/mjpeg": the mode asked of the camera, from the next
    // start on; frames come at its size. False (and nothing changed) for
    // anything else.
    bool SetVideoMode(const std::string& mode);
    // The camera by description (UTF-8) and same-name ordinal.
    void SetCapture(std::string name, int ordinal);
    // The camera by its system device path, the identity its controls are
    // reached by; with identical cameras, the only choice that still names
    // the same camera after another one left. Replaces a SetCapture choice.
    void SetCaptureDevice(std::string deviceName);
    // Opens the camera and waits for its first frame (at most a few
    // seconds). True when frames flow.
    bool StartCapture();
    // Opens the camera without waiting: captureStarted tells how it went.
    // False when no such camera is known (captureStarted(false) follows all
    // the same). A StopCapture or another start before the outcome cancels
    // it.
    bool StartCaptureAsync();
    // The size the window shows pictures at (its preview label's), told
    // again whenever it changes; 0 x 0 for none, the default. While one is
    // set, the worker converts each picture straight to previewBuffer's
    // size and keeps the decoded picture beside it; frameBuffer keeps its
    // size, converted from that on the GUI thread and only while frameBuffer
    // has receivers.
    void SetPreviewSize(int width, int height);
    using FrameTaker = std::function<void(const uint8_t* buffer, int width, int height)>;
    // The picture of the last emission at the size frameBuffer promises,
    // converted now from the decoded picture kept with the preview's: for a
    // snapshot, or a receiver that wants the whole picture now and then.
    // take gets RGB888 rows as frameBuffer's, valid during the call. False,
    // and take not called, before the first picture. GUI thread only.
    bool ConvertLastFrame(const FrameTaker& take);
    // True while the device delivers frames.
    bool CaptureIsOpen();
    void StopCapture();

    // Target file of the next StartRecord, in the platform's 8-bit
    // file-name encoding.
    void SetRecordFileName(std::string fileName);
    // The microphone by device name (UTF-8) and same-name ordinal.
    void SetCaptureMicrophone(std::string name, int ordinal);
    // The microphone by the system's own id for it as well (the device
    // catalog's systemId), which keeps identical cameras' microphones
    // apart; name and ordinal choose where the system has no such id.
    void SetCaptureMicrophoneDevice(std::string name, int ordinal, std::string systemId);
    // Start and stop return with the outcome, yet run the work on a thread
    // of their own while this thread's events (not user input) go on.
    bool StartRecord();
    // True when the file was completed.
    bool StopRecord();

signals:
    // While SetPreviewSize has a size: every picture fitted whole into it,
    // smaller than frameBuffer's (or that one itself when it is not
    // larger), rows as frameBuffer's, valid only during the emission.
    // Emitted before frameBuffer, on the same thread.
    void previewBuffer(uint8_t* buffer, int width, int height);
    // RGB888 rows, each starting on a multiple of 4 bytes; valid only
    // during the emission. Always emitted on the thread that owns this
    // object (the GUI thread).
    void frameBuffer(uint8_t* buffer, int width, int height);
    // A write error (a full disk) ended the recording early; what was
    // written up to then stays playable. Emitted on the thread that owns
    // this object.
    void recordFailed();
    // The outcome of StartCaptureAsync: true with the first frame, false
    // when the camera could not be opened or sent no picture. Emitted on the
    // thread that owns this object, before the first frameBuffer.
    void captureStarted(bool open);

private:
    void deliver(FrameHandoff::Picture& picture);
    // The kept decoded picture into m_onDemandFrame, at the asked size;
    // once per picture, however many ask (the virtual camera, auto
    // framing, a snapshot).
    bool convertKept();

    // Shared with the capture worker, which hands every decoded frame to
    // it while a recording runs.
    std::shared_ptr<Mp4Recorder> m_recorder;
    std::unique_ptr<CaptureSession> m_session;
    // A start or stop of the recording is under way; the event loop runs
    // meanwhile, and a second call from it must not touch the recorder.
    bool m_recordCallRunning = false;
    std::string m_recordFileName;
    std::string m_microphoneName;
    int m_microphoneOrdinal = 0;
    std::string m_microphoneId;

    // What the next StartCapture opens, and at which size.
    std::string m_captureName;
    int m_captureOrdinal = 0;
    std::string m_captureDevice; // when set, it alone names the camera
    CaptureMode m_videoMode{1280, 720, 30};
    bool m_previewSizeSet = false;
    // GUI thread: full-size pictures made on demand from the kept one.
    std::unique_ptr<RgbConverter> m_onDemandConverter;
    std::unique_ptr<RgbFrame> m_onDemandFrame;
    // Pictures delivered, and the one m_onDemandFrame holds.
    quint64 m_delivered = 0;
    quint64 m_converted = 0;
};
