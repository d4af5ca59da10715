#pragma once

#include "controlcatalogue.h"
#include "videoinputinfo.h"

#include <QHash>
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
        int value = 0; // as the camera holds it; exposure 0 when automatic
        // The control's range: the camera's where the camera has one.
        int minimum = 0;
        int maximum = 0;
    };
    QString version;
    QHash<QString, Value> values;

    // What was read of a control; not known for one the reading skips.
    Value value(const ControlDescriptor& control) const { return values.value(control.name); }

    // The controls in the order the page has always read them: flips,
    // exposure, contrast, red and blue.
    static const QList<const ControlDescriptor*>& controls();
    // Device information, the ranges the camera reports, then the controls.
    static VideoSettingsReading read(Vorn_CameraProperty& property, const VideoInputInfo& camera);
};
