#include "clicapture.h"

#include "interruptwatcher.h"
#include "mediafiles.h"
#include "rgbframe.h"
#include "vorn_ffmpeglib.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstring>

namespace {

// The capture library may start the camera in the background; a camera
// that delivers nothing in this time is taken as held by another program.
constexpr int kFirstFrameTimeoutMs = 8000;
// A few frames in, exposure and white balance have settled.
constexpr int kSettleFrames = 5;

} // namespace

CliCapture::CliCapture(const CliCamera& camera, InterruptWatcher* interrupts)
    : m_camera(camera), m_interrupts(interrupts), m_library(std::make_unique<Vorn_FFmpeglib>())
{
    m_library->SetVideoSize("1280x720");
    QObject::connect(
        m_library.get(), &Vorn_FFmpeglib::frameBuffer, m_library.get(),
        [this](uint8_t* buffer, int width, int height) {
            if (!buffer || width <= 0 || height <= 0) {
                return;
            }
            QImage frame(width, height, QImage::Format_RGB888);
            for (int y = 0; y < height; ++y) {
                std::memcpy(frame.scanLine(y),
                            buffer + size_t(y) * size_t(RgbFrame::strideFor(width)),
                            size_t(width) * 3);
            }
            m_frame = frame;
            ++m_frames;
            if (m_listener) {
                m_listener(QImage(buffer, width, height, RgbFrame::strideFor(width),
                                  QImage::Format_RGB888));
            }
        },
        Qt::DirectConnection);
}

CliCapture::~CliCapture()
{
    m_library->StopRecord();
    m_library->StopCapture();
}

void CliCapture::setMode(const CaptureMode& mode)
{
    m_library->SetVideoMode(mode.toString().toStdString());
}

bool CliCapture::start()
{
    // The camera the user named, by the device path its controls use: a
    // camera listed before it may leave in the meantime.
    m_library->SetCaptureDevice(m_camera.camera.deviceName().toUtf8().toStdString());
    m_library->StartCapture();
    return waitForFrames(kSettleFrames, kFirstFrameTimeoutMs);
}

bool CliCapture::waitForFrames(int count, int timeoutMs)
{
    const int target = m_frames + count;
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (m_frames >= target || clock.elapsed() > timeoutMs ||
            (m_interrupts && m_interrupts->count() > 0)) {
            loop.quit();
        }
    });
    tick.start(10);
    loop.exec();
    return m_frames >= target;
}

bool CliCapture::record(const QString& fileName, int seconds, qint64* recordedMs, QString* problem)
{
    m_library->SetRecordFileName(libraryFileName(fileName));
    const QString microphone =
        m_camera.microphone.isNull() ? QString() : m_camera.microphone.deviceName();
    m_library->SetCaptureMicrophoneDevice(microphone.toUtf8().toStdString(),
                                          m_camera.microphoneOrdinal,
                                          m_camera.microphone.systemId().toUtf8().toStdString());
    if (!m_library->StartRecord()) {
        *problem = QStringLiteral("the recording could not start; check that the folder of %1 "
                                  "is writable and retry")
                       .arg(fileName);
        return false;
    }
    bool failed = false;
    QEventLoop loop;
    QObject::connect(m_library.get(), &Vorn_FFmpeglib::recordFailed, &loop, [&] {
        failed = true;
        loop.quit();
    });
    if (seconds > 0) {
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    }
    if (m_interrupts) {
        QObject::connect(m_interrupts, &InterruptWatcher::interrupted, &loop, &QEventLoop::quit);
    }
    // An unplugged camera ends the capture, and with it the recording.
    bool lost = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        lost = !m_library->CaptureIsOpen();
        if (lost) {
            loop.quit();
        }
    });
    watch.start(100);
    QElapsedTimer clock;
    clock.start();
    if (!m_interrupts || m_interrupts->count() == 0) {
        loop.exec();
    }
    *recordedMs = clock.elapsed();
    const bool completed = m_library->StopRecord();
    if (failed || !completed) {
        *problem = QStringLiteral("the recording of %1 was not completed; check the free disk "
                                  "space and retry")
                       .arg(fileName);
        return false;
    }
    if (lost) {
        *problem = QStringLiteral("the camera went away after %1 s; %2 is complete up to there")
                       .arg(*recordedMs / 1000.0, 0, 'f', 1)
                       .arg(fileName);
        return false;
    }
    return true;
}
