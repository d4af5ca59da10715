#include "vorn_ffmpeglib.h"

#include "capturedevice.h"
#include "capturesession.h"

#include <QDebug>

Vorn_FFmpeglib::Vorn_FFmpeglib(QObject* parent)
    : QObject(parent), m_session(std::make_unique<CaptureSession>(
                           this,
                           [this](uint8_t* buffer, int width, int height) {
                               emit frameBuffer(buffer, width, height);
                           },
                           &m_recorder))
{
}

Vorn_FFmpeglib::~Vorn_FFmpeglib()
{
    // The worker reads m_recorder; it has to be gone before the members.
    StopCapture();
}

void Vorn_FFmpeglib::SetVideoSize(std::string size)
{
    int width = 0;
    int height = 0;
    if (!parseVideoSize(size, width, height)) {
        qWarning().noquote() << "capture: ignoring video size" << QString::fromStdString(size);
        return;
    }
    m_videoMode = CaptureMode(width, height, 30);
}

bool Vorn_FFmpeglib::SetVideoMode(const std::string& mode)
{
    const CaptureMode parsed = CaptureMode::fromString(QString::fromStdString(mode));
    if (parsed.isNull()) {
        qWarning().noquote() << "capture: ignoring video mode" << QString::fromStdString(mode);
        return false;
    }
    m_videoMode = parsed;
    return true;
}

void Vorn_FFmpeglib::SetCapture(std::string name, int ordinal)
{
    m_captureName = std::move(name);
    m_captureOrdinal = ordinal;
    m_captureDevice.clear();
}

void Vorn_FFmpeglib::SetCaptureDevice(std::string deviceName)
{
    m_captureName.clear();
    m_captureOrdinal = 0;
    m_captureDevice = std::move(deviceName);
}

bool Vorn_FFmpeglib::StartCapture()
{
    return m_session->start({m_captureName, m_captureOrdinal, m_captureDevice}, m_videoMode);
}

bool Vorn_FFmpeglib::StartCaptureAsync()
{
    return m_session->begin({m_captureName, m_captureOrdinal, m_captureDevice}, m_videoMode,
                            [this](bool open) { emit captureStarted(open); });
}

bool Vorn_FFmpeglib::CaptureIsOpen()
{
    return m_session->isOpen();
}

void Vorn_FFmpeglib::StopCapture()
{
    m_session->stop();
}
