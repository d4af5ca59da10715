#pragma once

#include "cameramover.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// How a camera profile is kept in the user's settings, which anyone with the
// user's rights may have edited: the page values as one JSON object, each
// preset as the text "pan tilt zoom".
namespace ProfileText {

// Empty when the text is no JSON object.
QJsonObject values(const QByteArray& stored);
QByteArray valuesText(const QJsonObject& values);

// False when the text is no preset; position is then left as it was.
bool preset(const QString& stored, PtzPosition* position);
QString presetText(const PtzPosition& position);

} // namespace ProfileText
