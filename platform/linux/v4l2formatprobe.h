#pragma once

#include "capturemode.h"

#include <QList>
#include <QString>

#include <cstdint>

// One way a V4L2 camera can stream: pixel format, size, frame rate.
struct V4l2Mode
{
    uint32_t fourcc = 0;
    int width = 0;
    int height = 0;
    double fps = 0; // 0 when the camera does not list its rates
};

// Every mode the node lists (VIDIOC_ENUM_FMT / _FRAMESIZES /
// _FRAMEINTERVALS); empty when it lists nothing or cannot be opened.
QList<V4l2Mode> enumerateV4l2Modes(const QString& devicePath);

// FFmpeg's name for the pixel format or codec ("mjpeg", "h264",
// "yuyv422"), empty for formats the capture does not take.
QString v4l2InputFormatName(uint32_t fourcc);

// The mode to ask for: the requested size if offered at all, else the
// nearest in area; at that size MJPEG, then H.264, before YUYV before other
// formats (raw pictures do not reach 720p at 30 fps over USB 2); then the
// rate nearest the requested one. False when nothing usable is offered.
bool chooseV4l2Mode(const QList<V4l2Mode>& modes, int width, int height, double fps,
                    V4l2Mode& chosen);

// The modes of the node in the formats the capture takes as they come
// (MJPEG, H.264, YUYV, NV12), as CaptureMode lists them.
QList<CaptureMode> v4l2CaptureModes(const QString& devicePath);
// The fourcc of a format and back; 0 and Any for the others.
uint32_t v4l2Fourcc(CaptureMode::Format format);
CaptureMode::Format v4l2ModeFormat(uint32_t fourcc);
