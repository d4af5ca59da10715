#include "capturesession.h"
#include "mp4recorder.h"
#include "vorn_ffmpeglib.h"

#include <QDebug>
#include <QMetaObject>

void Vorn_FFmpeglib::SetRecordFileName(std::string fileName)
{
    m_recordFileName = std::move(fileName);
}

void Vorn_FFmpeglib::SetCaptureMicrophone(std::string name, int ordinal)
{
    m_microphoneName = std::move(name);
    m_microphoneOrdinal = ordinal;
}

bool Vorn_FFmpeglib::StartRecord()
{
    // Pictures come only from a running capture; a recording without them
    // would be an empty file.
    if (!CaptureIsOpen() || !m_session) {
        qDebug() << "no recording: capture is not running";
        return false;
    }
    if (m_recorder && m_recorder->isRecording()) {
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
    // The camera's own frame size and rate, which may differ from what was
    // asked of it.
    return m_recorder->start(m_recordFileName, m_microphoneName, m_microphoneOrdinal,
                             m_session->frameWidth(), m_session->frameHeight(),
                             m_session->frameRate());
}

bool Vorn_FFmpeglib::StopRecord()
{
    return m_recorder ? m_recorder->stop() : false;
}
