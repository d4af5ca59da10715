#include "videosettingsreading.h"

#include "camerasettings.h"

using namespace CameraSettings;

namespace {

VideoSettingsReading::Value switchValue(Vorn_CameraProperty& property, unsigned long selector)
{
    bool on = false;
    if (!readSwitch(property, selector, &on)) {
        return {};
    }
    return {true, on ? 1 : 0};
}

VideoSettingsReading::Value signedByte(Vorn_CameraProperty& property, unsigned long selector)
{
    int value = 0;
    if (!readSignedByte(property, selector, &value)) {
        return {};
    }
    return {true, value};
}

} // namespace

VideoSettingsReading VideoSettingsReading::read(Vorn_CameraProperty& property,
                                                const VideoInputInfo& camera)
{
    VideoSettingsReading reading;
    reading.version = firmwareVersionText(property, camera);
    contrastRange(property, &reading.contrastMinimum, &reading.contrastMaximum);
    reading.horizontalFlip = switchValue(property, kHorizontalFlip);
    reading.verticalFlip = switchValue(property, kVerticalFlip);
    bool automatic = false;
    if (readAutoExposure(property, &automatic) && automatic) {
        reading.exposure = {true, 0};
    } else {
        reading.exposure = signedByte(property, kExposureValue);
    }
    int contrast = 0;
    if (readContrast(property, &contrast)) {
        reading.contrast = {true, contrast};
    }
    reading.redShift = signedByte(property, kRedShift);
    reading.blueShift = signedByte(property, kBlueShift);
    return reading;
}
