#pragma once

#include "lumora_platform_export.h"

#include <QString>

// Where the program finds a library it loads at run time (the upgrade
// library, the vendor property dialog): beside the program, as a build and
// the Windows program keep it; else, for a program installed on Linux, in
// the private library folder its own libraries are found in.
LUMORA_PLATFORM_EXPORT QString companionLibraryPath(const QString& fileName);
