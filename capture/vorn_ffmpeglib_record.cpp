#include "mp4recorder.h"
#include "vorn_ffmpeglib.h"

#include <QDebug>
#include <QMetaObject>

namespace {

void recordingFormat(int* width, int* height, double* fps)
{
    *width = 1280;
    *height = 720;
    *fps = 30.0;
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
}

bool Vorn_FFmpeglib::StartRecord()
{
    // Pictures come only from a running capture; a recording without them
    // would be an empty file.
    if (!CaptureIsOpen()) {
        qDebug() << "no recording: capture is not running";
        return false;
    }
    if (m_recorder && m_recorder->isRecording()) {
        return false;
    }
    if (!m_recorder) {
        m_recorder = std::make_shared<Mp4Recorder>();
        // Runs on a recorder thread; the GUI hears of it through the
        // event loop of this object's thread.
        m_recorder->setFailureHandler([this](const std::string&) {
            QMetaObject::invokeMethod(
                this, [this] { emit recordFailed(); }, Qt::QueuedConnection);
        });
    }
    int width = 0;
    int height = 0;
    double fps = 0.0;
    recordingFormat(&width, &height, &fps);
    return m_recorder->start(m_recordFileName, m_microphoneName, m_microphoneOrdinal, width, height,
                             fps);
}

bool Vorn_FFmpeglib::StopRecord()
{
    return m_recorder ? m_recorder->stop() : false;
}
