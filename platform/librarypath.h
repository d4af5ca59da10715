#pragma once

#include "lumora_platform_export.h"

#include <QByteArray>
#include <QString>

// File paths cross the C contracts of the capture and upgrade libraries as
// 8-bit text. On Windows that text is GB18030: every path the Chinese code
// page could hold keeps exactly its bytes, and every other character
// (Jörg, ñ, 한국어, emoji) has bytes of its own instead of a '?'. Elsewhere
// the bytes are the file system's own.

LUMORA_PLATFORM_EXPORT QByteArray libraryPathBytes(const QString& path);
LUMORA_PLATFORM_EXPORT QString pathFromLibraryBytes(const char* bytes);

// Removes a file named in those bytes; on Windows through the wide call,
// which reaches any name whatever the system's code page.
LUMORA_PLATFORM_EXPORT bool removeLibraryPath(const char* bytes);
