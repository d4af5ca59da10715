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

bool DshowSource::open(int width, int height, int fps)
{
    return openFirst({{QStringLiteral("mjpeg"), width, height, double(fps)},
                      {QString(), width, height, double(fps)},
                      Attempt()});
}
