#include "cameracontrols.h"

#include "cameraprofilestore.h"
#include "camerasettings.h"
#include "controlrequest.h"
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
    ControlRequest::range(m_main, control, &result.minimum, &result.maximum);
    return result;
}

QJsonValue CameraControls::read(const ControlDescriptor& control)
{
    if (control.access == Access::Firmware) {
        return firmwareVersionText(m_main, m_camera);
    }
    if (control.access == Access::Speed) {
        return CameraMover::speedName(CameraMover::speed());
    }
    int value = 0;
    if (!ControlRequest::read(m_main, control, &value)) {
        return QJsonValue();
    }
    if (control.automatic && value == 0) {
        return QJsonValue("auto");
    }
    switch (control.kind) {
    case Kind::Switch:
        return QJsonValue(value != 0);
    case Kind::Choice: {
        // A byte that stands for no choice is shown as the camera holds it.
        const QString choice = control.choiceOf(value);
        return choice.isEmpty() ? QJsonValue(value) : QJsonValue(choice);
    }
    default:
        return QJsonValue(value);
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
    case Access::Switch: {
        // Switching the audio function restarts the camera: only a change
        // is sent.
        int now = 0;
        if (control.selector == kAudioFunction && ControlRequest::read(m_main, control, &now) &&
            (now != 0) == value.toBool()) {
            return true;
        }
        result = ControlRequest::write(m_main, control, value.toBool() ? 1 : 0);
        break;
    }
    case Access::Byte:
        result = ControlRequest::write(m_main, control, control.valueOf(value.toString()));
        break;
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
    case Access::Exposure:
    case Access::Picture:
    case Access::SignedByte:
        result = ControlRequest::write(m_main, control, value.toInt());
        break;
    default:
        // Motions are the caller's; read-only controls take nothing.
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
