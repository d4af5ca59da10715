#pragma once

#include "lumora_platform_export.h"

class QSharedMemory;

// How many attachments the system counts for the segment of an attached
// QSharedMemory, over all processes (this one's included); -1 where the
// system cannot tell.
LUMORA_PLATFORM_EXPORT int sharedSegmentAttachments(const QSharedMemory& segment);
