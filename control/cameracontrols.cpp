#include "cameracontrols.h"

#include "cameraprofilestore.h"
#include "camerasettings.h"
#include "controlvalue.h"
#include "propertytransport.h"
#include "vorn_cameraproperty.h"

#include <QVariant>

using namespace CameraSettings;
using Kind = ControlDescriptor::Kind;
using Access = ControlDescriptor::Access;

CameraControls::CameraControls(Vorn_CameraProperty& main, Vorn_CameraProperty& zoom,
                               const VideoInputInfo& camera)
    : m_main(main), m_zoom(zoom), m_camera(camera), m_mover(main, zoom)
{
}

ControlDescriptor CameraControls::resolved(const ControlDescriptor& control)
{
    ControlDescriptor result = control;
    if (control.access == Access::Contrast) {
        contrastRange(m_main, &result.minimum, &result.maximum);
    } else if (control.access == Access::Position && m_main.cameraControl) {
        long low = 0;
        long high = 0;
        if (m_main.cameraControl->GetRange(control.standardId, &low, &high, nullptr, nullptr,
                                           nullptr) >= 0) {
            result.minimum = int(low);
            result.maximum = int(high);
        }
    }
    return result;
}

QJsonValue CameraControls::read(const ControlDescriptor& control)
{
    int value = 0;
    bool on = false;
    switch (control.access) {
    case Access::Firmware:
        return firmwareVersionText(m_main, m_camera);
    case Access::Exposure:
        // In automatic exposure the value is the camera's own and no setting.
        if (readAutoExposure(m_main, &on) && on) {
            return QJsonValue("auto");
        }
        return readSignedByte(m_main, kExposureValue, &value) ? QJsonValue(value) : QJsonValue();
    case Access::Contrast:
        return readContrast(m_main, &value) ? QJsonValue(value) : QJsonValue();
    case Access::SignedByte:
        return readSignedByte(m_main, control.selector, &value) ? QJsonValue(value) : QJsonValue();
    case Access::WhiteBalance:
        return readAutoWhiteBalance(m_main, &on) ? QJsonValue(on ? "auto" : "manual")
                                                 : QJsonValue();
    case Access::ImageStyle: {
        unsigned char style = 0;
        if (!readByte(m_main, kImageStyle, &style)) {
            return QJsonValue();
        }
        return style == kStyleMeeting ? QJsonValue("meeting")
               : style == kStyleLive  ? QJsonValue("live")
                                      : QJsonValue(int(style));
    }
    case Access::Switch:
        return readSwitch(m_main, control.selector, &on) ? QJsonValue(on) : QJsonValue();
    case Access::Position: {
        long position = 0;
        return m_main.cameraControl && m_main.cameraControl->Get(control.standardId, &position) >= 0
                   ? QJsonValue(int(position))
                   : QJsonValue();
    }
    case Access::Speed:
        return CameraMover::speedName(CameraMover::speed());
    default:
        return QJsonValue();
    }
}

QJsonValue CameraControls::parse(const ControlDescriptor& given, const QJsonValue& value,
                                 QString* problem)
{
    const ControlDescriptor control = resolved(given);
    const QJsonValue parsed = ControlValue::parse(control, value, problem);
    if (problem->isEmpty() && control.access == Access::SignedByte &&
        !colourShiftAllowed(m_main, parsed.toInt())) {
        *problem = QStringLiteral("%1 below 0 needs manual white balance, and the camera's "
                                  "white balance is automatic")
                       .arg(control.name);
        return QJsonValue();
    }
    return parsed;
}

bool CameraControls::write(const ControlDescriptor& control, const QJsonValue& value,
                           QString* problem)
{
    long result = 0;
    switch (control.access) {
    case Access::Exposure:
        result = writeExposure(m_main, value.toInt());
        break;
    case Access::Contrast:
        result = writeContrast(m_main, value.toInt());
        break;
    case Access::SignedByte:
        result =
            writeByte(m_main, control.selector, static_cast<unsigned char>(value.toInt() & 0xFF));
        break;
    case Access::ImageStyle:
        result = writeByte(m_main, kImageStyle,
                           value.toString() == QLatin1String("live") ? kStyleLive : kStyleMeeting);
        break;
    case Access::Switch: {
        // Switching the audio function restarts the camera: only a change
        // is sent.
        bool on = false;
        if (control.selector == kAudioFunction && readSwitch(m_main, kAudioFunction, &on) &&
            on == value.toBool()) {
            return true;
        }
        result = writeSwitch(m_main, control.selector, value.toBool());
        break;
    }
    case Access::Position:
        result = m_mover.setPosition(control.standardId, value.toInt());
        break;
    case Access::Speed:
        CameraMover::setSpeed(CameraMover::Speed(control.choices.indexOf(value.toString())));
        break;
    case Access::Home:
        m_mover.home();
        break;
    case Access::FactoryReset:
        restoreFactorySettings(m_main);
        CameraProfileStore::clear(CameraProfileStore::keyOf(m_camera));
        break;
    default:
        break;
    }
    if (result < 0) {
        *problem =
            QStringLiteral("the camera did not take %1 (error %2)").arg(control.name).arg(result);
        return false;
    }
    return true;
}

QJsonObject CameraControls::readProfile()
{
    QJsonObject values;
    for (const ControlDescriptor* control : ControlCatalogue::profileControls()) {
        const QJsonValue value = read(*control);
        if (!value.isUndefined()) {
            values.insert(control->name, value);
        }
    }
    return values;
}

QStringList CameraControls::applyProfile(const QJsonObject& values)
{
    QStringList written;
    QString problem;
    for (const ControlDescriptor* control : ControlCatalogue::profileControls()) {
        if (!values.contains(control->name)) {
            continue;
        }
        const QJsonValue wanted = parse(*control, values.value(control->name), &problem);
        const QJsonValue now = read(*control);
        const QJsonValue comparable = control->automatic && now == QJsonValue("auto") ? 0 : now;
        if (problem.isEmpty() && comparable != wanted && write(*control, wanted, &problem)) {
            written << control->name;
        }
    }
    return written;
}
