#pragma once

#include "lumora_platform_export.h"

// Puts the calling thread a step below the others, for work that must keep
// up on average but must never hold up the window: encoding a recording.
// On Linux the threads it starts afterwards inherit the step (x264 starts
// its own when the encoder opens); on Windows they start at normal
// priority. Returns false where the system refused.
LUMORA_PLATFORM_EXPORT bool lowerCurrentThreadPriority();
