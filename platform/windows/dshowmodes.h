#pragma once

#include "capturemode.h"

#include <QList>
#include <QString>

// The modes a DirectShow camera offers, as the dshow input lists its
// capture pin's capabilities; empty when the camera is not there or lists
// nothing Lumora decodes. DirectShow answers only through a built filter,
// so every call binds the camera's filter once (no stream is started).
QList<CaptureMode> dshowCaptureModes(const QString& deviceName);
