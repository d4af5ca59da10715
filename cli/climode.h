#pragma once

#include "capturemode.h"

#include <QStringList>

class CliOutput;
struct CliCamera;

// The mode lumora-ctl captures in: 1280x720 at 30 fps unless --mode names
// one, which the camera must offer.
namespace CliMode {

// Takes "--mode TEXT" out of the arguments. Without the option, *mode is
// left as it is; false, with a usage error told, when TEXT is missing or
// no mode.
bool take(QStringList& args, CaptureMode* mode, bool* given, CliOutput& out);
// The camera's own mode that satisfies *mode, in its place; false, with
// the error told (the modes it offers in the same line), when it has none.
bool offered(const CliCamera& camera, CaptureMode* mode, CliOutput& out);

} // namespace CliMode
