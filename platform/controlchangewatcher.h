#pragma once

#include "lumora_platform_export.h"

#include <QObject>
#include <QString>

// Tells when another program has changed one of a camera's controls, where
// the system tells of it (V4L2 control events on Linux), so that a kept
// value is put back at once without reading the camera over and over.
class LUMORA_PLATFORM_EXPORT ControlChangeWatcher : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // A watcher of the camera's controls; null where none is offered (a
    // simulated camera, Windows, a driver without control events): the
    // caller then reads the controls back every readBackIntervalMs().
    static ControlChangeWatcher* create(const QString& deviceName, QObject* parent);
    static int readBackIntervalMs();

signals:
    // One or more values changed since the last time.
    void changed();
};
