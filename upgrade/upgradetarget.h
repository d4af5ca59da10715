#pragma once

#include "videoinputinfo.h"

#include <QString>

// The upgrade library names a camera by its position among the USB
// cameras. Positions shift when a camera comes or goes, so the camera the
// user chose is kept by its identity (device path and description) and its
// position is looked up again just before firmware is written.

// The USB camera at a position, in the order the window lists them; null
// when there is none.
VideoInputInfo usbCameraAt(int index);

// Where the camera is now among the USB cameras; -1 when it has left (or
// none is given).
int usbCameraPosition(const VideoInputInfo& camera);

// The one sentence that tells the user the chosen camera left and nothing
// was written.
QString cameraLeftNotice(const VideoInputInfo& camera);
