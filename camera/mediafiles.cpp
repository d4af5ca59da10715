#include "mediafiles.h"

#include "librarypath.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

const char kPictureFilter[] = "PNG(*.png);;JPG(*.jpg);;BMP(*.bmp);;TIF(*.tif)";
const char kVideoFilter[] = "MP4(*.mp4)";

QString suffixOfFilter(const QString& filter, const QString& fallback)
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("\\*\\.([A-Za-z0-9]+)")).match(filter);
    return m.hasMatch() ? m.captured(1) : fallback;
}

QString withSuffix(const QString& fileName, const QString& selectedFilter,
                   const QString& defaultFilter)
{
    if (!QFileInfo(fileName).suffix().isEmpty()) {
        return fileName;
    }
    const QString filter = selectedFilter.isEmpty() ? defaultFilter : selectedFilter;
    return fileName + QLatin1Char('.') + suffixOfFilter(filter, QStringLiteral("png"));
}

bool isPictureFileName(const QString& fileName)
{
    static const QStringList suffixes = {QStringLiteral("png"),  QStringLiteral("jpg"),
                                         QStringLiteral("jpeg"), QStringLiteral("bmp"),
                                         QStringLiteral("tif"),  QStringLiteral("tiff")};
    return suffixes.contains(QFileInfo(fileName).suffix().toLower());
}

bool isVideoFileName(const QString& fileName)
{
    return QFileInfo(fileName).suffix().compare(QLatin1String("mp4"), Qt::CaseInsensitive) == 0;
}

std::string libraryFileName(const QString& path)
{
    return std::string(libraryPathBytes(path).constData()); // up to the first zero byte
}
