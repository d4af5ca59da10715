#include "capturesession.h"
#include "librarypath.h"
#include "mp4recorder.h"
#include "vorn_ffmpeglib.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>

#include <functional>
#include <thread>

namespace {

// Opening the encoders, the muxer and the microphone, and completing the
// file, take long enough to freeze the window. They run on a thread of
// their own while the caller's event loop keeps turning: the preview and
// the timers go on, while user input is held back until the outcome is
// known, so that no click lands in the middle of a start or a stop.
bool runBesideEventLoop(const QObject* owner, const std::function<bool()>& job)
{
    if (!QCoreApplication::instance() || QCoreApplication::closingDown() ||
        QThread::currentThread() != owner->thread()) {
        return job();
    }
    bool result = false;
    QEventLoop loop;
    std::thread worker([&] {
        result = job();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    return result;
}

} // namespace

void Vorn_FFmpeglib::SetRecordFileName(std::string fileName)
{
    m_recordFileName = std::move(fileName);
}

void Vorn_FFmpeglib::SetCaptureMicrophone(std::string name, int ordinal)
{
    m_microphoneName = std::move(name);
    m_microphoneOrdinal = ordinal;
    m_microphoneId.clear();
}

void Vorn_FFmpeglib::SetCaptureMicrophoneDevice(std::string name, int ordinal, std::string systemId)
{
    SetCaptureMicrophone(std::move(name), ordinal);
    m_microphoneId = std::move(systemId);
}

bool Vorn_FFmpeglib::StartRecord()
{
    // Pictures come only from a running capture; a recording without them
    // would be an empty file.
    if (!CaptureIsOpen() || !m_session) {
        qDebug() << "no recording: capture is not running";
        return false;
    }
    if (m_recordCallRunning || (m_recorder && m_recorder->isRecording())) {
        return false;
    }
    if (!m_recorder) {
        auto recorder = std::make_shared<Mp4Recorder>();
        // Runs on a recorder thread; the GUI hears of it through the
        // event loop of this object's thread.
        recorder->setFailureHandler([this](const std::string&) {
            QMetaObject::invokeMethod(
                this, [this] { emit recordFailed(); }, Qt::QueuedConnection);
        });
        // The capture worker reads the slot while it runs.
        std::atomic_store(&m_recorder, recorder);
    }
    const std::shared_ptr<Mp4Recorder> recorder = m_recorder;
    // The camera's own frame size and rate, which may differ from what was
    // asked of it.
    const std::string path = m_recordFileName;
    const std::string microphone = m_microphoneName;
    const int ordinal = m_microphoneOrdinal;
    const std::string microphoneId = m_microphoneId;
    const int width = m_session->frameWidth();
    const int height = m_session->frameHeight();
    const double rate = m_session->frameRate();
    // A camera that sends H.264 is recorded as it sends it: no second
    // encoding, no loss, hardly any processor time.
    recorder->setCopiedStream(m_session->copiedStream().get());
    m_recordCallRunning = true;
    bool started = runBesideEventLoop(this, [=] {
        return recorder->start(path, microphone, ordinal, width, height, rate, microphoneId);
    });
    if (started && !CaptureIsOpen()) {
        // The capture ended while the recorder was being opened: there is
        // nothing to record.
        qDebug() << "no recording: capture ended while it started";
        runBesideEventLoop(this, [recorder] { return recorder->stop(); });
        removeLibraryPath(path.c_str());
        started = false;
    }
    m_recordCallRunning = false;
    return started;
}

bool Vorn_FFmpeglib::StopRecord()
{
    const std::shared_ptr<Mp4Recorder> recorder = m_recorder;
    // A stop asked for from within a start or a stop waiting here finds
    // nothing of its own to complete.
    if (!recorder || m_recordCallRunning) {
        return false;
    }
    m_recordCallRunning = true;
    const bool completed = runBesideEventLoop(this, [recorder] { return recorder->stop(); });
    m_recordCallRunning = false;
    return completed;
}
