#pragma once

#include "videoinputinfo.h"

#include <QString>

// The upgrade library names a camera by its position among the USB
// cameras. Positions shift when a camera comes or goes, so before firmware
// is written the camera at that position is checked to be the one the
// user chose, by description and device path.

// The USB camera at a position, in the order the window lists them; null
// when there is none.
VideoInputInfo usbCameraAt(int index);

// Empty when the camera at index is still `expected`; otherwise one
// sentence that says what changed and what to do.
QString upgradeTargetMismatch(int index, const VideoInputInfo& expected);
