#include "v4l2source.h"

#include "v4l2formatprobe.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <sys/mman.h>

namespace {

// The address ranges of this process that map the node, from /proc/self/maps.
QSet<QPair<quintptr, quintptr>> nodeMappings(const QString& node)
{
    QSet<QPair<quintptr, quintptr>> ranges;
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (node.isEmpty() || !maps.open(QIODevice::ReadOnly)) {
        return ranges;
    }
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || QString::fromLocal8Bit(fields.mid(5).join(' ')) != node) {
            continue;
        }
        const QList<QByteArray> range = fields[0].split('-');
        ranges.insert({quintptr(range.value(0).toULongLong(nullptr, 16)),
                       quintptr(range.value(1).toULongLong(nullptr, 16))});
    }
    return ranges;
}

} // namespace

V4l2Source::V4l2Source(const QString& devicePath)
    : LibavdeviceSource("video4linux2", devicePath, "input_format")
{
}

bool V4l2Source::open(int width, int height, int fps)
{
    QList<Attempt> attempts;
    V4l2Mode mode;
    if (chooseV4l2Mode(enumerateV4l2Modes(url()), width, height, fps, mode)) {
        attempts.append({v4l2InputFormatName(mode.fourcc), mode.width, mode.height, mode.fps});
    }
    // Cameras that list nothing still often take the usual request, and
    // failing that, whatever they are set to.
    attempts.append({QStringLiteral("mjpeg"), width, height, double(fps)});
    attempts.append(Attempt());
    return openFirst(attempts);
}

bool V4l2Source::openWith(const Attempt& attempt)
{
    const QString node = QFileInfo(url()).canonicalFilePath();
    const auto before = nodeMappings(node);
    if (LibavdeviceSource::openWith(attempt)) {
        return true;
    }
    // When the start fails after the buffers were mapped (STREAMON refused),
    // libavdevice closes the node but leaves them mapped. A driver that
    // counts mappings (v4l2loopback) then refuses every later start with
    // EBUSY for as long as this program runs.
    for (const auto& range : nodeMappings(node) - before) {
        munmap(reinterpret_cast<void*>(range.first), range.second - range.first);
    }
    return false;
}
