#include "vorn_cam.h"

void Vorn_Cam::bt_shot_Clicked() {}
void Vorn_Cam::bt_record_Clicked(bool) {}
void Vorn_Cam::updateRecordClock() {}
