#pragma once

#include "lumora_platform_export.h"

// Puts the calling thread a step below the window's, for work that must keep
// up on average but must never hold up the window: decoding the camera's
// pictures and encoding a recording.
//
// On Linux this is five nice steps, a smaller weight in the fair share and
// never a wait for an idle processor. On a busy machine it matters twice:
// the window's thread wins the turns it shares with such a thread, and the
// kernel, which hands the program's share of the machine to each core by the
// weight queued there, no longer draws that share to the core the worker
// runs on while the window's thread waits on another. Threads started
// afterwards inherit the step (x264 starts its own when the encoder opens).
//
// On Windows nothing changes. Priorities there are strict: a thread below
// normal runs only when no normal thread is ready, so on a busy machine it
// would be starved for seconds and drop the camera's pictures; and the
// foreground window's thread is boosted there already.
//
// Returns false where the system refused.
LUMORA_PLATFORM_EXPORT bool lowerCurrentThreadPriority();
