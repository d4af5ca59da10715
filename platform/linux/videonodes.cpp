#include "videonodes.h"

#include <algorithm>
#include <cstring>

namespace {

// "video12" -> 12; false for any other name.
bool nodeNumber(const QString& name, int* number)
{
    bool ok = false;
    *number = name.startsWith(QLatin1String("video")) ? name.mid(5).toInt(&ok) : 0;
    return ok;
}

QByteArray fixedText(const __u8* text, size_t capacity)
{
    const char* chars = reinterpret_cast<const char*>(text);
    return QByteArray(chars, int(strnlen(chars, capacity)));
}

} // namespace

QStringList VideoNodes::inOrder(const QStringList& names)
{
    QList<QPair<int, QString>> numbered;
    for (const QString& name : names) {
        int number = 0;
        if (nodeNumber(name, &number)) {
            numbered.append({number, name});
        }
    }
    std::stable_sort(numbered.begin(), numbered.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    QStringList result;
    for (const auto& node : numbered) {
        result << node.second;
    }
    return result;
}

bool VideoNodes::captureNode(const v4l2_capability& cap, QString* card, bool* usb)
{
    const quint32 caps =
        (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE)) {
        return false;
    }
    *card = QString::fromUtf8(fixedText(cap.card, sizeof cap.card));
    *usb = fixedText(cap.bus_info, sizeof cap.bus_info).startsWith("usb-");
    return true;
}
