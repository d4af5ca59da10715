#pragma once

#include "lumora_platform_export.h"

#include <QString>

// A program about to be run as root must be one that only root could have
// put there: owned by root and writable by no one else, and so every folder
// above it, except that a sticky folder (such as /tmp) may be writable by
// all, since its entries can be renamed only by their owners.
namespace TrustedHelper {

// The file or folder that someone other than root could change, or that is
// missing; empty when the program is safe to run as root.
LUMORA_PLATFORM_EXPORT QString untrustedPart(const QString& path);

} // namespace TrustedHelper
