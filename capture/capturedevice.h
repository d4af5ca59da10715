#pragma once

#include "videoinputinfo.h"

#include <QString>

#include <string>

// The device a (description, same-name ordinal) pair names: among the USB
// video inputs whose description is exactly the name, the ordinal-th in
// the system's order. Identical cameras are told apart only this way.
struct CaptureDevice
{
    QString deviceName; // /dev/videoN, or a simulated camera's name

    bool isNull() const { return deviceName.isEmpty(); }
};

// Index into inputs, or -1 when no such device is listed.
int findCaptureInput(const VideoInputList& inputs, const QString& name, int ordinal);

// What a capture opens: the camera with that system device path when one
// is given, as the controls and the upgrade address it; else the pair
// (description, same-name ordinal). A device path that is no longer listed
// names nothing: a camera that left is never replaced by its neighbour.
struct CaptureTarget
{
    std::string name;
    int ordinal = 0;
    std::string deviceName;
};

// Looks the target up in the process-wide device catalog.
CaptureDevice resolveCaptureDevice(const CaptureTarget& target);

// "1280x720" -> 1280, 720. False (and nothing written) for anything that is
// not two positive numbers within what a camera can deliver.
bool parseVideoSize(const std::string& text, int& width, int& height);
