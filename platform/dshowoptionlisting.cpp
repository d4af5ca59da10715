#include "dshowoptionlisting.h"

#include <QRegularExpression>

#include <cmath>

namespace {

CaptureMode::Format formatOf(const QString& key, const QString& name)
{
    if (key == QLatin1String("vcodec")) {
        if (name == QLatin1String("mjpeg")) {
            return CaptureMode::Format::Mjpeg;
        }
        if (name == QLatin1String("h264")) {
            return CaptureMode::Format::H264;
        }
    } else if (name == QLatin1String("yuyv422")) {
        return CaptureMode::Format::Yuyv;
    } else if (name == QLatin1String("nv12")) {
        return CaptureMode::Format::Nv12;
    }
    return CaptureMode::Format::Any;
}

// Through the written form, so that a size or rate no camera delivers is
// refused here as it is on the command line.
CaptureMode modeOf(const QString& width, const QString& height, const QString& fps,
                   CaptureMode::Format format)
{
    const double rate = fps.toDouble();
    if (!std::isfinite(rate) || rate <= 0 || rate > 1000) {
        return {};
    }
    const CaptureMode checked =
        CaptureMode::fromString(width + QLatin1Char('x') + height + QLatin1Char('@') +
                                QString::number(std::round(rate * 100) / 100, 'f', 2));
    return checked.isNull() ? checked
                            : CaptureMode(checked.width(), checked.height(), checked.fps(), format);
}

void addEntry(const QRegularExpressionMatch& entry, QList<CaptureMode>* modes)
{
    const CaptureMode::Format format = formatOf(entry.captured(1), entry.captured(2));
    if (format == CaptureMode::Format::Any) {
        return;
    }
    for (const int size : {3, 6}) {
        for (const int rate : {8, 5}) {
            const CaptureMode mode = modeOf(entry.captured(size), entry.captured(size + 1),
                                            entry.captured(rate), format);
            if (!mode.isNull()) {
                modes->append(mode);
            }
        }
    }
}

} // namespace

namespace DshowOptionListing {

QList<CaptureMode> modes(const QByteArray& listing)
{
    static const QRegularExpression entry(
        QStringLiteral("(?:^|\\s)(vcodec|pixel_format)=(\\S+)\\s+min s=(\\d{1,5})x(\\d{1,5}) "
                       "fps=(\\S+) max s=(\\d{1,5})x(\\d{1,5}) fps=(\\S+)"));
    QList<CaptureMode> found;
    for (const QByteArray& line : listing.split('\n')) {
        const QRegularExpressionMatch match = entry.match(QString::fromLatin1(line));
        if (match.hasMatch()) {
            addEntry(match, &found);
        }
    }
    return CaptureMode::sorted(found);
}

} // namespace DshowOptionListing
