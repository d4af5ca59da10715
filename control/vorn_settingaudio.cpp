#include "vorn_settingaudio.h"

Vorn_settingAudio::Vorn_settingAudio(QWidget* parent) : QWidget(parent) {}

Vorn_settingAudio::~Vorn_settingAudio() = default;

void Vorn_settingAudio::loadAudioState() {}

void Vorn_settingAudio::captureState(bool state)
{
    captureOn = state;
}
