#include "loopbacknode.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace LoopbackNode {

bool isLoopback(const v4l2_capability& cap)
{
    return std::strncmp(reinterpret_cast<const char*>(cap.driver), "v4l2 loopback",
                        sizeof cap.driver) == 0;
}

bool isIdle(const QString& devicePath, const QString& sysfsRoot)
{
    QFile state(sysfsRoot + QStringLiteral("/class/video4linux/") +
                QFileInfo(devicePath).fileName() + QStringLiteral("/state"));
    // A release without the attribute is taken at its word.
    return state.open(QIODevice::ReadOnly) && state.readAll().trimmed() != "capture";
}

} // namespace LoopbackNode
