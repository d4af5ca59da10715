#include "vorn_ffmpeglib.h"

#include "capturedevice.h"
#include "capturesession.h"
#include "rgbconverter.h"
#include "rgbframe.h"

#include <QDebug>
#include <QMetaMethod>

Vorn_FFmpeglib::Vorn_FFmpeglib(QObject* parent)
    : QObject(parent),
      m_session(std::make_unique<CaptureSession>(
          this, [this](FrameHandoff::Picture& picture) { deliver(picture); }, &m_recorder)),
      m_onDemandConverter(std::make_unique<RgbConverter>()),
      m_onDemandFrame(std::make_unique<RgbFrame>())
{
}

void Vorn_FFmpeglib::deliver(FrameHandoff::Picture& picture)
{
    ++m_delivered;
    RgbFrame& rgb = picture.rgb;
    if (m_previewSizeSet) {
        emit previewBuffer(rgb.data(), rgb.width(), rgb.height());
    }
    if (!picture.scaledForPreview) {
        emit frameBuffer(rgb.data(), rgb.width(), rgb.height());
        return;
    }
    // Nobody listening: the full-size picture is made only when asked for.
    static const QMetaMethod full = QMetaMethod::fromSignal(&Vorn_FFmpeglib::frameBuffer);
    if (isSignalConnected(full) && convertKept()) {
        emit frameBuffer(m_onDemandFrame->data(), m_onDemandFrame->width(),
                         m_onDemandFrame->height());
    }
}

bool Vorn_FFmpeglib::convertKept()
{
    if (m_converted == m_delivered && m_delivered != 0) {
        return true;
    }
    const FrameHandoff::Picture* picture = m_session->deliveredPicture();
    const bool converted =
        picture && picture->scaledForPreview &&
        m_onDemandConverter->convert(picture->decoded.frame(), picture->askedWidth,
                                     picture->askedHeight, *m_onDemandFrame);
    m_converted = converted ? m_delivered : 0;
    return converted;
}

bool Vorn_FFmpeglib::ConvertLastFrame(const FrameTaker& take)
{
    const FrameHandoff::Picture* picture = m_session->deliveredPicture();
    if (!picture || picture->rgb.isNull()) {
        return false;
    }
    if (!picture->scaledForPreview) {
        take(picture->rgb.data(), picture->rgb.width(), picture->rgb.height());
        return true;
    }
    if (!convertKept()) {
        return false;
    }
    take(m_onDemandFrame->data(), m_onDemandFrame->width(), m_onDemandFrame->height());
    return true;
}

void Vorn_FFmpeglib::SetPreviewSize(int width, int height)
{
    m_previewSizeSet = width > 0 && height > 0;
    m_session->setPreviewSize(width, height);
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
