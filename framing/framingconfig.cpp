#include "framingconfig.h"

#include <QSettings>

#include <algorithm>

FramingSettings FramingConfig::read(const QSettings& file)
{
    FramingSettings settings;
    const auto ms = [&file](const char* key, int fallback) {
        bool ok = false;
        const double seconds = file.value(QStringLiteral("FRAMING/") + key).toDouble(&ok);
        return ok && seconds >= 0 && seconds <= 86400 ? int(seconds * 1000) : fallback;
    };
    settings.holdMs = ms("holdSeconds", settings.holdMs);
    settings.homeMs = std::max(settings.holdMs, ms("homeSeconds", settings.homeMs));
    settings.manualPauseMs = ms("manualPauseSeconds", settings.manualPauseMs);
    return settings;
}
