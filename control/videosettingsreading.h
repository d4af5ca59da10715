#pragma once

#include "videoinputinfo.h"

#include <QString>

class Vorn_CameraProperty;

// The video page's settings as one reading of the camera finds them, made on
// the control worker and shown by the page. A control whose read failed is
// not known, and the page leaves it as it was.
struct VideoSettingsReading
{
    struct Value
    {
        bool known = false;
        int value = 0;
    };
    QString version;
    int contrastMinimum = 0;
    int contrastMaximum = 0;
    Value horizontalFlip;
    Value verticalFlip;
    // Known with value 0 in automatic exposure.
    Value exposure;
    Value contrast;
    Value redShift;
    Value blueShift;

    // The requests in the order the page has always made them: device
    // information, contrast range, flips, exposure, contrast, red and blue.
    static VideoSettingsReading read(Vorn_CameraProperty& property, const VideoInputInfo& camera);
};
