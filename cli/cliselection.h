#pragma once

#include "cameradevice.h"

#include <QJsonObject>
#include <QList>
#include <QString>

// One camera as lumora-ctl addresses it: its position among the USB
// cameras (the index `list` shows and the upgrade library takes), with the
// microphone of the same device.
struct CliCamera
{
    int index = -1;
    VideoInputInfo camera;
    AudioInputInfo microphone;
    int cameraOrdinal = 0;     // among cameras of the same description
    int microphoneOrdinal = 0; // among microphones of the same name
};

// The cameras of one discovery pass, as the window lists them.
QList<CliCamera> discoverCameras();

// CAMERA on the command line: an index, a device path, or "all" (when
// allowed). Empty with `error` set when nothing matches.
QList<CliCamera> selectCameras(const QString& argument, bool allowAll, QString* error);

// The camera's position now, found by its identity (device path and
// description); -1 when it is gone.
int currentPosition(const VideoInputInfo& camera);

// index, description and device of the camera, as every command's JSON
// names a camera.
QJsonObject cameraObject(const CliCamera& camera);
