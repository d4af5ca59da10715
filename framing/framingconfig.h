#pragma once

#include "framingcontroller.h"

class QSettings;

namespace FramingConfig {

// The defaults, with the times the user wrote in the group FRAMING of an
// INI file (holdSeconds, homeSeconds, manualPauseSeconds; 0 pauses until
// switched on again). A time that is no number, or below 0 or above a day,
// keeps its default; going home never comes before the hold ends.
FramingSettings read(const QSettings& file);

} // namespace FramingConfig
