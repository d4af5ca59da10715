#include "vorn_settingupgrade.h"

Vorn_settingUpgrade* Vorn_settingUpgrade::getInstance()
{
    static Vorn_settingUpgrade* instance = new Vorn_settingUpgrade;
    return instance;
}

Vorn_settingUpgrade::Vorn_settingUpgrade(QWidget* parent) : QWidget(parent) {}

Vorn_settingUpgrade::~Vorn_settingUpgrade() = default;

void Vorn_settingUpgrade::captureState(bool state)
{
    captureOn = state;
}

void Vorn_settingUpgrade::onCameraIDChange(int id)
{
    cameraId = id;
}
