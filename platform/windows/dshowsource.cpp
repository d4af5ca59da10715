#include "dshowsource.h"

DshowSource::DshowSource(const QString& deviceName)
    : LibavdeviceSource("dshow", inputUrl(deviceName), "vcodec")
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
    // The dshow input takes compressions as its vcodec option; raw
    // formats come through its default choice at that size.
    const CaptureMode::Format format = wanted.format();
    const QString codec =
        format == CaptureMode::Format::Any ? QStringLiteral("mjpeg")
        : format == CaptureMode::Format::Mjpeg || format == CaptureMode::Format::H264
            ? CaptureMode::formatName(format)
            : QString();
    const double fps = wanted.fps() > 0 ? wanted.fps() : 30;
    return openFirst({{codec, wanted.width(), wanted.height(), fps},
                      {QString(), wanted.width(), wanted.height(), fps},
                      Attempt()});
}
