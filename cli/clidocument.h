#pragma once

#include "controlcatalogue.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

// The assignments of a set command: control and value, in the order given.
struct Assignment
{
    const ControlDescriptor* control;
    QJsonValue value;
};

// One camera's values in a --from document, with what names the camera
// they were read from.
struct SourceCamera
{
    int index = -1;
    QString device;
    QString description;
    QJsonObject controls;
};

// Reads a document printed by get --json: {"cameras": [...]} or one
// {"controls": {...}}. The cameras that hold controls go to `sources`, the
// names no control of the catalogue has to `unknown`; false when the text
// is no JSON document.
bool readControlsDocument(const QByteArray& text, QList<SourceCamera>* sources,
                          QStringList* unknown);

// The writable controls of a document entry, in the catalogue's order;
// read-only ones (firmware, white balance) are there to be read.
QList<Assignment> assignmentsOf(const QJsonObject& controls);
