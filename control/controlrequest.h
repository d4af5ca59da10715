#pragma once

#include "controlcatalogue.h"

class Vorn_CameraProperty;

// The request that carries a control, made the way its descriptor says, on
// the number the camera holds (a switch 1 or 0, a choice its byte, exposure
// 0 in automatic). The pages, CameraControls and the reading of the video
// page all go through here, so a control is read and sent one way only.
namespace ControlRequest {

// False when the camera did not answer or the control holds no number.
bool read(Vorn_CameraProperty& property, const ControlDescriptor& control, int* value);
// The request's result; negative when the camera refused it or the control
// is not sent as one number (motions, actions, the program's own settings).
long write(Vorn_CameraProperty& property, const ControlDescriptor& control, int value);
// The range the camera reports for a control whose range is the camera's;
// the descriptor's own range otherwise, and 0 to 0 when the camera does not
// answer.
void range(Vorn_CameraProperty& property, const ControlDescriptor& control, int* minimum,
           int* maximum);

} // namespace ControlRequest
