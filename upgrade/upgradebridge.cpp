#include "upgradebridge.h"

#include "companionlibrary.h"
#include "librarypath.h"
#include "upgradelibrary.h"
#include "upgraderelay.h"
#include "upgradetarget.h"
#include "uvc_upgrade.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

#include <cstdio>

namespace {

QMutex& folderMutex()
{
    static QMutex mutex;
    return mutex;
}

QString& folderOverride()
{
    static QString folder;
    return folder;
}

QString libraryFileName()
{
#if defined(Q_OS_WIN)
    return QStringLiteral("uvc_upgrade.dll");
#elif defined(Q_OS_MACOS)
    return QStringLiteral("libuvc_upgrade.dylib");
#else
    return QStringLiteral("libuvc_upgrade.so");
#endif
}

void reportTaskEnd(const QString& failure)
{
    emit UpgradeRelay::instance().taskEnded(failure);
}

} // namespace

extern "C" int upgradeMessageCallback(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    int produced = 0;
    const QString message = formatUpgradeMessage(format, args, &produced);
    va_end(args);
    // Nobody may be listening (an upgrade outliving the window): the
    // message is then dropped.
    emit UpgradeRelay::instance().message(message);
    return produced;
}

QString formatUpgradeMessage(const char* format, va_list args, int* produced)
{
    char buffer[kUpgradeMessageBytes + 1] = {};
    const int result = format ? std::vsnprintf(buffer, sizeof buffer, format, args) : 0;
    if (produced) {
        *produced = result;
    }
    return QString::fromLocal8Bit(buffer);
}

QString upgradeLibraryFolder()
{
    QMutexLocker lock(&folderMutex());
    if (!folderOverride().isEmpty()) {
        return folderOverride();
    }
    return QFileInfo(companionLibraryPath(libraryFileName())).path();
}

void setUpgradeLibraryFolder(const QString& folder)
{
    QMutexLocker lock(&folderMutex());
    folderOverride() = folder;
}

// The library is looked up by its full path: the system's search would
// otherwise prefer any copy on the library path over the one we ship.
QString upgradeLibraryPath()
{
    return QDir(upgradeLibraryFolder()).filePath(libraryFileName());
}

QByteArray cameraIndexText(int cameraId)
{
    return QByteArray::number(cameraId);
}

QByteArray upgradeFilePathBytes(const QString& fileName)
{
    // Vendors' libraries read the path in the Chinese code page; GB18030
    // keeps those bytes and names any other file too.
    return libraryPathBytes(fileName);
}

UpgradeFileKind upgradeFileKind(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix();
    if (suffix.compare(QLatin1String("img"), Qt::CaseInsensitive) == 0) {
        return UpgradeFileKind::Image;
    }
    if (suffix.compare(QLatin1String("pkg"), Qt::CaseInsensitive) == 0) {
        return UpgradeFileKind::Package;
    }
    return UpgradeFileKind::Unknown;
}

QString readUpgradeInformation(int cameraId)
{
    UpgradeLibrary library(upgradeLibraryPath());
    QString failure = library.load();
    if (failure.isEmpty()) {
        QString returned;
        failure = library.call({1, "-I", cameraIndexText(cameraId), "", ""}, &returned);
        qDebug() << returned;
    }
    library.unload();
    qDebug() << "uvc get info exit";
    return failure;
}

namespace {

// The one upgrade task. With a target, its position is looked up once the
// library is loaded, the last moment before the library takes the index.
// The library never gets -1: "no camera" would reach it as an index.
void runUpgradeTask(const QString& fileName, int cameraId, const VideoInputInfo* target)
{
    UpgradeLibrary library(upgradeLibraryPath());
    QString failure = library.load();
    if (target) {
        const int position = usbCameraPosition(*target);
        if (position != cameraId) {
            qDebug() << "upgrade target moved from position" << cameraId << "to" << position;
        }
        cameraId = position;
    }
    if (!failure.isEmpty()) {
        qDebug().noquote() << failure;
    } else if (cameraId < 0) {
        failure = target ? cameraLeftNotice(*target)
                         : QStringLiteral("no camera was chosen; nothing was written");
        qDebug() << "upgrade refused: " << failure;
    } else {
        const QString suffix = QFileInfo(fileName).suffix();
        const QByteArray path = upgradeFilePathBytes(fileName);
        const QByteArray index = cameraIndexText(cameraId);
        qDebug() << "file suffix is: " << suffix;
        QString returned;
        switch (upgradeFileKind(fileName)) {
        case UpgradeFileKind::Image:
            failure = library.call({2, "-M", path, "-I", index}, &returned);
            qDebug() << "start_upgrade ok: " << returned;
            break;
        case UpgradeFileKind::Package:
            failure = library.call({2, "-P", path, "-I", index}, &returned);
            qDebug() << returned;
            break;
        case UpgradeFileKind::Unknown:
            failure = QStringLiteral("unknown file type \"%1\"").arg(suffix);
            break;
        }
    }
    library.unload();
    qDebug() << "uvc upgrade exit";
    reportTaskEnd(failure);
}

} // namespace

void upgradeTask(QString fileName, int cameraId)
{
    runUpgradeTask(fileName, cameraId, nullptr);
}

void checkedUpgradeTask(QString fileName, int cameraId, VideoInputInfo expected)
{
    runUpgradeTask(fileName, cameraId, &expected);
}
