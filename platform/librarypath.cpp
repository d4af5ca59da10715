#include "librarypath.h"

#include <QFile>
#include <QTextCodec>

#if defined(_WIN32)
#include <windows.h>

#include <string>
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

// Qt 5's codec maps the characters beyond the first 65536 (emoji, rare CJK)
// wrongly. GB18030 gives them the four-byte codes from 0x90308130 on, in
// order, so they are counted out here.
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr unsigned char kSupplementaryLead = 0x90;

void appendSupplementary(QByteArray& bytes, char32_t codePoint)
{
    unsigned index = codePoint - kFirstSupplementary;
    const char b4 = char(0x30 + index % 10);
    index /= 10;
    const char b3 = char(0x81 + index % 126);
    index /= 126;
    const char b2 = char(0x30 + index % 10);
    const char b1 = char(kSupplementaryLead + index / 10);
    bytes.append(b1).append(b2).append(b3).append(b4);
}

QByteArray encodeGb18030(QTextCodec* codec, const QString& path)
{
    QByteArray bytes;
    int runStart = 0;
    for (int i = 0; i < path.size(); ++i) {
        if (path.at(i).isHighSurrogate() && i + 1 < path.size() &&
            path.at(i + 1).isLowSurrogate()) {
            bytes += codec->fromUnicode(path.mid(runStart, i - runStart));
            appendSupplementary(bytes, QChar::surrogateToUcs4(path.at(i), path.at(i + 1)));
            runStart = ++i + 1;
        }
    }
    return bytes + codec->fromUnicode(path.mid(runStart));
}

QString decodeGb18030(QTextCodec* codec, const QByteArray& bytes)
{
    QString text;
    int runStart = 0;
    const auto byte = [&bytes](int at) { return static_cast<unsigned char>(bytes.at(at)); };
    for (int i = 0; i < bytes.size();) {
        if (byte(i) < 0x81 || byte(i) == 0xff) {
            ++i;
            continue;
        }
        const bool fourBytes = i + 3 < bytes.size() && byte(i + 1) >= 0x30 && byte(i + 1) <= 0x39;
        if (!fourBytes || byte(i) < kSupplementaryLead) {
            i += fourBytes ? 4 : 2;
            continue;
        }
        text += codec->toUnicode(bytes.mid(runStart, i - runStart));
        const unsigned index =
            (((byte(i) - kSupplementaryLead) * 10u + (byte(i + 1) - 0x30u)) * 126u +
             (byte(i + 2) - 0x81u)) *
                10u +
            (byte(i + 3) - 0x30u);
        text +=
            QString::fromUcs4(std::u32string(1, char32_t(kFirstSupplementary + index)).c_str(), 1);
        i += 4;
        runStart = i;
    }
    return text + codec->toUnicode(bytes.mid(runStart));
}
#endif

} // namespace

QByteArray libraryPathBytes(const QString& path)
{
#if defined(_WIN32)
    if (QTextCodec* codec = pathCodec()) {
        return encodeGb18030(codec, path);
    }
#endif
    return QFile::encodeName(path);
}

QString pathFromLibraryBytes(const char* bytes)
{
#if defined(_WIN32)
    if (QTextCodec* codec = pathCodec()) {
        return decodeGb18030(codec, QByteArray(bytes));
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
