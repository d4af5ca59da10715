#include "vorn_settingvideo.h"

Vorn_SettingVideo::Vorn_SettingVideo(QWidget* parent) : QWidget(parent) {}

Vorn_SettingVideo::~Vorn_SettingVideo() = default;

void Vorn_SettingVideo::connectControls(const VideoInputInfo& camera)
{
    selectedCamera = camera;
}

void Vorn_SettingVideo::setCameraInfo(const VideoInputInfo& camera)
{
    selectedCamera = camera;
}

void Vorn_SettingVideo::openDevice() {}

void Vorn_SettingVideo::captureState(bool state)
{
    captureOn = state;
}
