#include "controlrequest.h"

#include "camerasettings.h"
#include "propertytransport.h"
#include "vorn_cameraproperty.h"

#include <cerrno>

using namespace CameraSettings;
using Access = ControlDescriptor::Access;

namespace ControlRequest {

bool read(Vorn_CameraProperty& property, const ControlDescriptor& control, int* value)
{
    bool on = false;
    long number = 0;
    long flags = 0;
    unsigned char byte = 0;
    switch (control.access) {
    case Access::Exposure:
        // In automatic exposure the value is the camera's own and no setting.
        if (readAutoExposure(property, &on) && on) {
            *value = 0;
            return true;
        }
        return readSignedByte(property, control.selector, value);
    case Access::Picture:
        if (property.getVideoProcAmp(control.standardId, &number, &flags) < 0) {
            return false;
        }
        *value = int(number);
        return true;
    case Access::SignedByte:
        return readSignedByte(property, control.selector, value);
    case Access::Switch:
    case Access::WhiteBalance:
        if (!(control.access == Access::Switch ? readSwitch(property, control.selector, &on)
                                               : readAutoWhiteBalance(property, &on))) {
            return false;
        }
        *value = on ? 1 : 0;
        return true;
    case Access::Byte:
        if (!readByte(property, control.selector, &byte)) {
            return false;
        }
        *value = byte;
        return true;
    case Access::Position:
        if (!property.cameraControl ||
            property.cameraControl->Get(control.standardId, &number) < 0) {
            return false;
        }
        *value = int(number);
        return true;
    default:
        return false;
    }
}

long write(Vorn_CameraProperty& property, const ControlDescriptor& control, int value)
{
    switch (control.access) {
    case Access::Exposure:
        return writeExposure(property, value);
    case Access::Picture:
        return property.setVideoProcAmp(control.standardId, value, ControlFlags::Manual);
    case Access::SignedByte:
    case Access::Byte:
        return writeByte(property, control.selector, static_cast<unsigned char>(value & 0xFF));
    case Access::Switch:
        return writeSwitch(property, control.selector, value != 0);
    default:
        return -EINVAL;
    }
}

void range(Vorn_CameraProperty& property, const ControlDescriptor& control, int* minimum,
           int* maximum)
{
    *minimum = control.minimum;
    *maximum = control.maximum;
    if (!control.cameraRange) {
        return;
    }
    long low = 0;
    long high = 0;
    long result = -1;
    if (control.transport == ControlDescriptor::Transport::PictureProperty) {
        result = property.getVideoProcAmpRange(control.standardId, &low, &high);
    } else if (property.cameraControl) {
        result = property.cameraControl->GetRange(control.standardId, &low, &high, nullptr, nullptr,
                                                  nullptr);
    }
    *minimum = result < 0 ? 0 : int(low);
    *maximum = result < 0 ? 0 : int(high);
}

} // namespace ControlRequest
