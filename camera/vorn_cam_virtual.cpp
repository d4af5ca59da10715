#include "vorn_cam.h"

void Vorn_Cam::pushButton_register_checked(bool) {}
