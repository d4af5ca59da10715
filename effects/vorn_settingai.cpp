#include "vorn_settingai.h"

Vorn_settingAI::Vorn_settingAI(QWidget* parent) : QWidget(parent) {}

Vorn_settingAI::~Vorn_settingAI() = default;

QImage Vorn_settingAI::applyEffects(QImage& image)
{
    return image;
}
