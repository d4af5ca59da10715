#pragma once

#include "audioinputinfo.h"
#include "videoinputinfo.h"

#include <QMap>
#include <QString>
#include <QStringList>

// One USB camera of a discovery pass with the microphone of the same device.
struct CameraDevice
{
    VideoInputInfo camera;
    AudioInputInfo microphone; // null when none was found
    int cameraIndex = -1;      // zero-based position among the USB cameras
    int deviceId = -1;         // the same position, sent with cameraId
};

// Key k belongs to combo box entry k (1 .. N).
using CameraTable = QMap<int, CameraDevice>;

// Number of entries with keys below `key` whose camera description equals
// that of entry `key`: tells identical cameras apart.
int sameNameCameraOrdinal(const CameraTable& table, int key);
// The same for the entries' microphone device names.
int sameNameMicrophoneOrdinal(const CameraTable& table, int key);

// One discovery pass: the USB cameras of the system's list, keyed 1 to N in
// its order, each paired with the microphone of the same device.
CameraTable buildCameraTable(const VideoInputList& videoInputs, const AudioInputList& audioInputs);

// What to tell the user about camera nodes that exist but may not be
// opened (DeviceCatalog::inaccessibleVideoInputs), with the fix; empty
// when there are none.
QString inaccessibleCamerasNotice(const QStringList& nodes);
