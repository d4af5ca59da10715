#include "vorn_settingupgrade.h"

namespace {
// The page goes with the main window's widget tree; the pointer is cleared
// then, so a later window (tests build many) gets a fresh page.
Vorn_settingUpgrade* s_instance = nullptr;
} // namespace

Vorn_settingUpgrade* Vorn_settingUpgrade::getInstance()
{
    if (!s_instance) {
        s_instance = new Vorn_settingUpgrade;
    }
    return s_instance;
}

Vorn_settingUpgrade::Vorn_settingUpgrade(QWidget* parent) : QWidget(parent) {}

Vorn_settingUpgrade::~Vorn_settingUpgrade()
{
    if (s_instance == this) {
        s_instance = nullptr;
    }
}

void Vorn_settingUpgrade::captureState(bool state)
{
    captureOn = state;
}

void Vorn_settingUpgrade::onCameraIDChange(int id)
{
    cameraId = id;
}
