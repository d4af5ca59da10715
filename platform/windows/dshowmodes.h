#pragma once

#include "capturemode.h"

#include <QList>
#include <QString>

// The modes a DirectShow camera offers, as the dshow input lists its
// capture pin's capabilities; empty when the camera is not there or lists
// nothing Lumora decodes. DirectShow answers only through a built filter,
// so every listing binds the camera's filter once (no stream is started),
// which takes long enough to matter: the last listing of each camera is
// kept, by its device name (the moniker's display name, unique to one
// camera at one port), so that opening the camera the window has just
// listed lists nothing again.
//
// A listing as of now: made here, unless one finished after this call was
// made (an open's, while this one waited its turn), which is as fresh.
QList<CaptureMode> dshowCaptureModes(const QString& deviceName);
// What the camera's last listing found, listed now only when there is
// none (or it found nothing): what an open chooses from.
QList<CaptureMode> dshowKnownCaptureModes(const QString& deviceName);
// How many listings this process has made, each a filter graph built.
int dshowModeListings();
