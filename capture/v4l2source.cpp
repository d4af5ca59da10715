#include "v4l2source.h"

#include "v4l2formatprobe.h"

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
