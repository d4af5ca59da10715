#include "librarypath.h"

#include <QFile>
#include <QTextCodec>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cstdio>
#endif

namespace {

#if defined(_WIN32)
QTextCodec* pathCodec()
{
    // Qt's own codec, present in every build that has the Chinese ones.
    static QTextCodec* const codec = QTextCodec::codecForName("GB18030");
    return codec;
}
#endif

} // namespace

QByteArray libraryPathBytes(const QString& path)
{
#if defined(_WIN32)
    if (QTextCodec* codec = pathCodec()) {
        return codec->fromUnicode(path);
    }
#endif
    return QFile::encodeName(path);
}

QString pathFromLibraryBytes(const char* bytes)
{
#if defined(_WIN32)
    if (QTextCodec* codec = pathCodec()) {
        return codec->toUnicode(bytes);
    }
#endif
    return QFile::decodeName(bytes);
}

bool removeLibraryPath(const char* bytes)
{
#if defined(_WIN32)
    return DeleteFileW(reinterpret_cast<const wchar_t*>(pathFromLibraryBytes(bytes).utf16()));
#else
    return std::remove(bytes) == 0;
#endif
}
