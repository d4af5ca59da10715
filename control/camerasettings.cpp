#include "camerasettings.h"

#include "propertytransport.h"
#include "vorn_cameraproperty.h"

#include <QDebug>
#include <QStringList>

namespace CameraSettings {

namespace {

constexpr int kDeviceInfoLength = 24;

bool isSV417Family(const VideoInputInfo& camera)
{
    const QString description = camera.description();
    return description.contains(QLatin1String("SV-CAM-417"), Qt::CaseSensitive) ||
           description.contains(QLatin1String("Solvane"), Qt::CaseSensitive);
}

unsigned char lowByte(int value)
{
    return static_cast<unsigned char>(value & 0xFF);
}

} // namespace

bool readByte(Vorn_CameraProperty& property, unsigned long selector, unsigned char* value)
{
    return property.extensionUnitRequest(selector, PropertyFlags::Get, value, 1) >= 0;
}

long writeByte(Vorn_CameraProperty& property, unsigned long selector, unsigned char value)
{
    return property.extensionUnitRequest(selector, PropertyFlags::Set, &value, 1);
}

bool readSwitch(Vorn_CameraProperty& property, unsigned long selector, bool* on)
{
    unsigned char byte = 0;
    if (!readByte(property, selector, &byte)) {
        return false;
    }
    *on = byte == 1;
    return true;
}

long writeSwitch(Vorn_CameraProperty& property, unsigned long selector, bool on)
{
    return writeByte(property, selector, on ? 1 : 0);
}

bool readSignedByte(Vorn_CameraProperty& property, unsigned long selector, int* value)
{
    unsigned char byte = 0;
    if (!readByte(property, selector, &byte)) {
        return false;
    }
    *value = byte > 0x80 ? byte - 256 : byte;
    return true;
}

long writeExposure(Vorn_CameraProperty& property, int value)
{
    if (value == 0) {
        return writeByte(property, kExposureMode, 1); // automatic exposure
    }
    const long mode = writeByte(property, kExposureMode, 0);
    const long result = writeByte(property, kExposureValue, lowByte(value));
    return mode < 0 ? mode : result;
}

bool readAutoExposure(Vorn_CameraProperty& property, bool* automatic)
{
    return readSwitch(property, kExposureMode, automatic);
}

bool colourShiftAllowed(Vorn_CameraProperty& property, int value)
{
    property.readWhiteBalanceMode();
    return value >= 0 || property.whiteBalanceMode != ControlFlags::Auto;
}

bool readAutoWhiteBalance(Vorn_CameraProperty& property, bool* automatic)
{
    if (property.readWhiteBalanceMode() < 0) {
        return false;
    }
    *automatic = property.whiteBalanceMode == ControlFlags::Auto;
    return true;
}

// Same three-byte layout as the relative-zoom control of the USB Video Class.
long sendZoomMotion(Vorn_CameraProperty& zoomProperty, unsigned char direction)
{
    const unsigned char speed = direction == 0 ? 0 : kZoomSpeed;
    unsigned char data[3] = {direction, 0, speed};
    return zoomProperty.extensionUnitRequest(kZoomMotion, PropertyFlags::Set, data, sizeof data);
}

bool startRelativeMotion(Vorn_CameraProperty& property, long relativeProperty, int direction,
                         int speed)
{
    CameraControl* control = property.cameraControl;
    long fastest = 0;
    long value = 0;
    if (!control ||
        control->GetRange(relativeProperty, nullptr, &fastest, nullptr, &value, nullptr) < 0) {
        return false;
    }
    qDebug() << "default speed:" << value;
    if (speed == 0) {
        value = qMax(1L, value / 2);
    } else if (speed == 2) {
        value = qMax(value, fastest);
    }
    control->Set(relativeProperty, direction * value, ControlFlags::Manual);
    return true;
}

void stopRelativeMotion(Vorn_CameraProperty& property, long relativeProperty)
{
    if (CameraControl* control = property.cameraControl) {
        control->Set(relativeProperty, 0, ControlFlags::Manual);
    }
}

void goHome(Vorn_CameraProperty& property)
{
    CameraControl* control = property.cameraControl;
    if (!control) {
        return;
    }
    control->Set(CameraControlProperty::Pan, 0, ControlFlags::Manual);
    control->Set(CameraControlProperty::Tilt, 0, ControlFlags::Manual);
    control->Set(CameraControlProperty::Zoom, 0, ControlFlags::Manual);
}

void restoreFactorySettings(Vorn_CameraProperty& property)
{
    writeByte(property, kFactoryReset, 1);
    goHome(property);
}

QString firmwareVersionText(Vorn_CameraProperty& property, const VideoInputInfo& camera)
{
    char info[kDeviceInfoLength] = {};
    if (property.extensionUnitRequest(kDeviceInfo, PropertyFlags::Get, info, sizeof info) < 0) {
        return QStringLiteral("Get device info failed!");
    }
    // The text ends at the first zero byte or at the end of the buffer.
    const QString text = QString::fromLatin1(info, int(qstrnlen(info, sizeof info)));
    const QStringList parts = text.split(QLatin1Char(':'));
    // An answer without a field name is all version.
    const QString version = parts.size() > 1 ? parts.at(1) : text;
    return isSV417Family(camera) ? QStringLiteral("FW: ") + version : version;
}

} // namespace CameraSettings
