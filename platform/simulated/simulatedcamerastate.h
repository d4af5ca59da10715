#pragma once

#include <QString>

// What a simulated camera is set to. The control requests change it, the
// picture shows it, so a user of the demo sees every control act.
struct SimulatedCameraState
{
    // Picture
    bool horizontalFlip = false;
    bool verticalFlip = false;
    bool autoExposure = true;
    int exposure = 0;   // -7 .. 7, manual exposure only
    int contrast = 50;  // standard contrast control, 0 .. 100
    int redShift = 0;   // -10 .. 10
    int blueShift = 0;  // -10 .. 10
    int imageStyle = 6; // 6 "Meeting", 5 "Live"
    bool autoWhiteBalance = true;
    int whiteBalanceTemperature = 4600; // kelvin, used while manual

    // Motion: absolute positions and the relative speeds that move them.
    int pan = 0;           // -180 .. 180 (arc units of the scene, see the renderer)
    int tilt = 0;          // -90 .. 90
    int zoom = 0;          // 0 .. 100, 0 = widest
    int panSpeed = 0;      // -x left, +x right, 0 stopped
    int tiltSpeed = 0;     // -x down, +x up, 0 stopped
    int zoomDirection = 0; // 1 in, -1 out, 0 stopped
    int zoomSpeed = 0;

    // Audio switches of the camera
    bool audioFunction = true;
    bool audioProcessing = true;
};
