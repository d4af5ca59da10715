#pragma once

#include "capturemode.h"

#include <QStringList>

class CliOutput;
struct CliCamera;

// The mode lumora-ctl captures in: the one --mode names, which the camera
// must offer; else the one chosen for the camera in the window (its
// profile keeps it) while the camera still offers it; else 1280x720 at 30
// fps.
namespace CliMode {

// Takes "--mode TEXT" out of the arguments. Without the option, *mode is
// left as it is; false, with a usage error told, when TEXT is missing or
// no mode.
bool take(QStringList& args, CaptureMode* mode, bool* given, CliOutput& out);
// The camera's own mode that satisfies *mode, in its place; false, with
// the error told (the modes it offers in the same line), when it has none.
bool offered(const CliCamera& camera, CaptureMode* mode, CliOutput& out);
// Settles *mode (the default on entry) for the camera as above; false,
// with the error told, when a given mode is not offered.
bool choose(const CliCamera& camera, bool given, CaptureMode* mode, CliOutput& out);

} // namespace CliMode
