#pragma once

#include "capturemode.h"
#include "cliselection.h"

#include <QImage>

#include <functional>
#include <memory>

class InterruptWatcher;
class Vorn_FFmpeglib;

// Captures from one camera through the same capture library as the window,
// for as long as one command needs it; the camera is let go when this
// object goes.
class CliCapture
{
public:
    // An interrupt that `interrupts` catches ends the wait for the first
    // frames and a recording early.
    explicit CliCapture(const CliCamera& camera, InterruptWatcher* interrupts = nullptr);
    ~CliCapture();

    // The mode the next start asks for (1280x720 at 30 fps unless set).
    void setMode(const CaptureMode& mode);
    // Starts capture and waits for the camera's first frames. False when
    // none arrive in time: another program holds the camera, or it failed.
    bool start();
    // The newest frame at the camera's full size, without effects.
    QImage latestFrame() const { return m_frame; }
    // Called with every frame as it arrives, valid only during the call.
    void setFrameListener(std::function<void(const QImage&)> listener)
    {
        m_listener = std::move(listener);
    }

    // Records video with the camera's microphone into `fileName` for
    // `seconds` (0: until interrupted), or less when interrupted; the file is
    // completed either way. *recordedMs is the time recorded. False when the
    // recording could not start or was not completed, or when the camera went
    // away (the file is then complete up to there).
    bool record(const QString& fileName, int seconds, qint64* recordedMs, QString* problem);

private:
    bool waitForFrames(int count, int timeoutMs);

    CliCamera m_camera;
    InterruptWatcher* m_interrupts;
    std::unique_ptr<Vorn_FFmpeglib> m_library;
    QImage m_frame;
    int m_frames = 0;
    std::function<void(const QImage&)> m_listener;
};
