#include "v4l2source.h"

#include "v4l2formatprobe.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <sys/mman.h>

namespace {

// The address ranges this process has mapped from the node.
QSet<QPair<quintptr, quintptr>> nodeMappings(const QString& devicePath)
{
    QSet<QPair<quintptr, quintptr>> ranges;
    QFile maps(QStringLiteral("/proc/self/maps"));
    const QByteArray path = ' ' + QFile::encodeName(QFileInfo(devicePath).canonicalFilePath());
    if (path.size() < 2 || !maps.open(QIODevice::ReadOnly)) {
        return ranges;
    }
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const int dash = line.indexOf('-'), space = line.indexOf(' ');
        if (line.endsWith(path) && dash > 0 && space > dash) {
            ranges.insert({line.left(dash).toULongLong(nullptr, 16),
                           line.mid(dash + 1, space - dash - 1).toULongLong(nullptr, 16)});
        }
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

// When starting the stream fails after the input mapped its buffers, FFmpeg
// closes the node but leaves the buffers mapped. The mappings hold the node
// open, so the driver keeps the buffers for it and every later attempt of
// this process meets EBUSY. The attempt's own mappings are undone here.
bool V4l2Source::openWith(const Attempt& attempt)
{
    const QSet<QPair<quintptr, quintptr>> before = nodeMappings(url());
    if (LibavdeviceSource::openWith(attempt)) {
        return true;
    }
    for (const auto& range : nodeMappings(url()) - before) {
        munmap(reinterpret_cast<void*>(range.first), range.second - range.first);
    }
    return false;
}
