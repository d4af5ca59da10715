#include "companionlibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString companionLibraryPath(const QString& fileName)
{
    const QDir programFolder(QCoreApplication::applicationDirPath());
    const QString beside = programFolder.filePath(fileName);
#if defined(LUMORA_PRIVATE_LIBRARY_DIR)
    // Relative to the program, so that an installation may be moved as a whole.
    if (!QFileInfo::exists(beside)) {
        return QDir::cleanPath(programFolder.filePath(QStringLiteral(LUMORA_PRIVATE_LIBRARY_DIR) +
                                                      QLatin1Char('/') + fileName));
    }
#endif
    return beside;
}
