#pragma once

#include "lumora_platform_export.h"

#include <QtGlobal>

// Maps every page of a freshly attached shared segment for writing in one
// call. Writing a frame into a new mapping otherwise takes one page fault
// per 4 KiB page, 226 for a 640 x 480 record, which on virtual machines costs
// milliseconds. Returns false where the system cannot; the pages then fault
// in one by one as they are written, which is slower but just as correct.
LUMORA_PLATFORM_EXPORT bool prefaultForWriting(void* data, qint64 bytes);
