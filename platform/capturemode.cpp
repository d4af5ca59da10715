#include "capturemode.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>

namespace {

// Rates as cameras state them are fractions (1/30 s, 1001/30000 s): equal
// when they round to the same hundredth.
long long hundredths(double fps)
{
    return std::llround(fps * 100);
}

// From the hundredths, so that the text reads back as the same rate.
QString rateText(double fps)
{
    const long long rate = hundredths(fps);
    QString text = QString::number(rate / 100);
    if (rate % 100 != 0) {
        text += QLatin1Char('.') + QStringLiteral("%1").arg(rate % 100, 2, 10, QLatin1Char('0'));
        if (text.endsWith(QLatin1Char('0'))) {
            text.chop(1);
        }
    }
    return text;
}

int formatRank(CaptureMode::Format format)
{
    switch (format) {
    case CaptureMode::Format::Mjpeg:
        return 0;
    case CaptureMode::Format::H264:
        return 1;
    case CaptureMode::Format::Yuyv:
        return 2;
    case CaptureMode::Format::Nv12:
        return 3;
    case CaptureMode::Format::Any:
        break;
    }
    return 4;
}

constexpr CaptureMode::Format kFormats[] = {CaptureMode::Format::Mjpeg, CaptureMode::Format::Yuyv,
                                            CaptureMode::Format::Nv12, CaptureMode::Format::H264};

} // namespace

CaptureMode::CaptureMode(int width, int height, double fps, Format format)
    : m_width(width), m_height(height), m_fps(fps > 0 ? fps : 0), m_format(format)
{
}

QString CaptureMode::toString() const
{
    QString text = QStringLiteral("%1x%2").arg(m_width).arg(m_height);
    if (m_fps > 0) {
        text += QLatin1Char('@') + rateText(m_fps);
    }
    if (m_format != Format::Any) {
        text += QLatin1Char('/') + formatName(m_format);
    }
    return text;
}

QString CaptureMode::listing() const
{
    return CaptureMode(m_width, m_height, m_fps).toString() + QLatin1Char(' ') +
           formatName(m_format);
}

CaptureMode CaptureMode::fromString(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{1,5})x(\\d{1,5})(?:@(\\d{1,4}(?:\\.\\d{1,3})?))?(?:/(\\w+))?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch()) {
        return {};
    }
    const int width = match.captured(1).toInt();
    const int height = match.captured(2).toInt();
    const double fps = match.captured(3).toDouble();
    // 8K and 1000 fps are past anything a UVC camera sends; beyond them a
    // typo is likelier.
    if (width < 16 || height < 16 || width > 7680 || height > 4320 || fps > 1000 ||
        (match.capturedLength(3) > 0 && hundredths(fps) <= 0)) {
        return {};
    }
    Format format = Format::Any;
    if (match.capturedLength(4) > 0) {
        const QString name = match.captured(4).toLower();
        const auto* named = std::find_if(std::begin(kFormats), std::end(kFormats),
                                         [&](Format f) { return formatName(f) == name; });
        if (named == std::end(kFormats)) {
            return {};
        }
        format = *named;
    }
    return CaptureMode(width, height, fps, format);
}

QString CaptureMode::formatName(Format format)
{
    switch (format) {
    case Format::Mjpeg:
        return QStringLiteral("mjpeg");
    case Format::Yuyv:
        return QStringLiteral("yuyv");
    case Format::Nv12:
        return QStringLiteral("nv12");
    case Format::H264:
        return QStringLiteral("h264");
    case Format::Any:
        break;
    }
    return QString();
}

bool CaptureMode::satisfies(const CaptureMode& wanted) const
{
    return m_width == wanted.m_width && m_height == wanted.m_height &&
           (wanted.m_fps <= 0 || hundredths(m_fps) == hundredths(wanted.m_fps)) &&
           (wanted.m_format == Format::Any || m_format == wanted.m_format);
}

bool CaptureMode::operator==(const CaptureMode& other) const
{
    return m_width == other.m_width && m_height == other.m_height &&
           hundredths(m_fps) == hundredths(other.m_fps) && m_format == other.m_format;
}

CaptureMode CaptureMode::find(const QList<CaptureMode>& offered, const CaptureMode& wanted)
{
    const CaptureMode* best = nullptr;
    for (const CaptureMode& mode : offered) {
        if (mode.satisfies(wanted) &&
            (!best || formatRank(mode.m_format) < formatRank(best->m_format))) {
            best = &mode;
        }
    }
    return best ? *best : CaptureMode();
}

CaptureMode CaptureMode::nearest(const QList<CaptureMode>& offered, const CaptureMode& wanted)
{
    const CaptureMode* best = nullptr;
    auto key = [&](const CaptureMode& m) {
        const long long area = 1LL * m.m_width * m.m_height;
        const bool sameFormat = wanted.m_format == Format::Any || m.m_format == wanted.m_format;
        return std::make_tuple(std::llabs(area - 1LL * wanted.m_width * wanted.m_height),
                               !sameFormat, std::fabs(m.m_fps - wanted.m_fps));
    };
    for (const CaptureMode& mode : offered) {
        if (!mode.isNull() && (!best || key(mode) < key(*best))) {
            best = &mode;
        }
    }
    return best ? *best : CaptureMode();
}

QList<CaptureMode> CaptureMode::sorted(QList<CaptureMode> modes)
{
    auto key = [](const CaptureMode& m) {
        return std::make_tuple(formatRank(m.m_format), -1LL * m.m_width * m.m_height, -m.m_width,
                               -hundredths(m.m_fps));
    };
    std::stable_sort(modes.begin(), modes.end(),
                     [&](const CaptureMode& a, const CaptureMode& b) { return key(a) < key(b); });
    modes.erase(std::unique(modes.begin(), modes.end()), modes.end());
    return modes;
}
