#pragma once

#include "lumora_platform_export.h"

#include <QString>

// Whether Lumora starts when the user logs in: the user's XDG autostart
// entry on Linux, the user's Run key on Windows. Only the user's own
// entry is touched, never one for all users.
namespace LoginAutostart {

LUMORA_PLATFORM_EXPORT bool isEnabled();
// False, with the reason in *error, when the entry could not be written
// or removed.
LUMORA_PLATFORM_EXPORT bool setEnabled(bool on, QString* error);

} // namespace LoginAutostart
