#include "vorn_cam.h"

void Vorn_Cam::setupVolumeControls() {}
void Vorn_Cam::refreshVolumePopup() {}
void Vorn_Cam::refreshMicPopup() {}
void Vorn_Cam::restartHideTimer(QTimer*, int) {}
void Vorn_Cam::horizontalSlider_Volume_sliderMoved(int) {}
void Vorn_Cam::horizontalSlider_MicVolume_sliderMoved(int) {}
