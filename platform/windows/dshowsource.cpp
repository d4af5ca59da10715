#include "dshowsource.h"

#include "dshowmodes.h"

namespace {

// The dshow input takes compressions as its vcodec option and raw formats
// as its pixel_format option, each by libavcodec's and libavutil's name.
void setFormat(CaptureMode::Format format, QString* codec, QString* pixelFormat)
{
    switch (format) {
    case CaptureMode::Format::Mjpeg:
    case CaptureMode::Format::H264:
        *codec = CaptureMode::formatName(format);
        break;
    case CaptureMode::Format::Yuyv:
        *pixelFormat = QStringLiteral("yuyv422");
        break;
    case CaptureMode::Format::Nv12:
        *pixelFormat = QStringLiteral("nv12");
        break;
    case CaptureMode::Format::Any:
        break;
    }
}

} // namespace

DshowSource::DshowSource(const QString& deviceName)
    : LibavdeviceSource("dshow", inputUrl(deviceName), "vcodec"), m_deviceName(deviceName)
{
}

QString DshowSource::inputUrl(const QString& deviceName)
{
    // The dshow input separates "video=...:audio=..." at colons, so its
    // alternative names carry underscores where the display name has colons.
    return QStringLiteral("video=") +
           QString(deviceName).replace(QLatin1Char(':'), QLatin1Char('_'));
}

bool DshowSource::open(const CaptureMode& wanted)
{
    QList<Attempt> attempts;
    // The window has listed the camera it opens: that listing is used.
    const QList<CaptureMode> offered = dshowKnownCaptureModes(m_deviceName);
    CaptureMode mode = CaptureMode::find(offered, wanted);
    if (mode.isNull()) {
        mode = CaptureMode::nearest(offered, wanted);
    }
    if (!mode.isNull()) {
        Attempt listed{QString(), QString(), mode.width(), mode.height(), mode.fps()};
        setFormat(mode.format(), &listed.codec, &listed.pixelFormat);
        attempts.append(listed);
    }
    // A camera that lists nothing usable may still take the request.
    Attempt asked{QString(), QString(), wanted.width(), wanted.height(),
                  wanted.fps() > 0 ? wanted.fps() : 30};
    setFormat(wanted.format() == CaptureMode::Format::Any ? CaptureMode::Format::Mjpeg
                                                          : wanted.format(),
              &asked.codec, &asked.pixelFormat);
    const Attempt anyFormat{QString(), QString(), asked.width, asked.height, asked.fps};
    attempts << asked << anyFormat << Attempt();
    return openFirst(attempts);
}
