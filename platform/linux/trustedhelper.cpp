#include "trustedhelper.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace TrustedHelper {

namespace {

bool rootOnly(const QString& path, bool isFolder)
{
    struct stat info
    {
    };
    if (stat(QFile::encodeName(path).constData(), &info) != 0 || info.st_uid != 0) {
        return false;
    }
    const bool othersWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    return !othersWrite || (isFolder && (info.st_mode & S_ISVTX));
}

// The path itself, then each folder above it up to the root.
QString firstUntrusted(const QString& path)
{
    if (!rootOnly(path, false)) {
        return path;
    }
    QDir folder = QFileInfo(path).absoluteDir();
    while (true) {
        if (!rootOnly(folder.absolutePath(), true)) {
            return folder.absolutePath();
        }
        if (folder.isRoot() || !folder.cdUp()) {
            return QString();
        }
    }
}

} // namespace

QString untrustedPart(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        return path;
    }
    // Both the folders named and the ones a link leads to.
    const QString named = firstUntrusted(info.absoluteFilePath());
    return named.isEmpty() ? firstUntrusted(info.canonicalFilePath()) : named;
}

} // namespace TrustedHelper
