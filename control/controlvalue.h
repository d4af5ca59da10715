#pragma once

#include "controlcatalogue.h"

#include <QJsonValue>
#include <QString>

namespace ControlValue {

// Turns a value from the command line, a --from document or a stored
// profile into the control's value, checked against the range the control
// carries (CameraControls puts in the camera's own range first). An empty
// `problem` when it fits; else a sentence for the user and no value.
QJsonValue parse(const ControlDescriptor& control, const QJsonValue& value, QString* problem);

} // namespace ControlValue
