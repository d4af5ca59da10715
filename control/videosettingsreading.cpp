#include "videosettingsreading.h"

#include "camerasettings.h"
#include "controlrequest.h"

const QList<const ControlDescriptor*>& VideoSettingsReading::controls()
{
    static const QList<const ControlDescriptor*> order = [] {
        QList<const ControlDescriptor*> result;
        for (const char* name : {"flip-horizontal", "flip-vertical", "exposure", "contrast",
                                 "red-shift", "blue-shift"}) {
            result << &ControlCatalogue::get(name);
        }
        return result;
    }();
    return order;
}

VideoSettingsReading VideoSettingsReading::read(Vorn_CameraProperty& property,
                                                const VideoInputInfo& camera)
{
    VideoSettingsReading reading;
    reading.version = CameraSettings::firmwareVersionText(property, camera);
    for (const ControlDescriptor* control : controls()) {
        Value& value = reading.values[control->name];
        ControlRequest::range(property, *control, &value.minimum, &value.maximum);
    }
    for (const ControlDescriptor* control : controls()) {
        Value& value = reading.values[control->name];
        value.known = ControlRequest::read(property, *control, &value.value);
    }
    return reading;
}
