#pragma once

#include <QImage>
#include <QWidget>

// The effect page: strengths of the preview effects.
class Vorn_settingAI : public QWidget
{
    Q_OBJECT
public:
    explicit Vorn_settingAI(QWidget* parent = nullptr);
    ~Vorn_settingAI() override;

    // Runs the enabled effects over one preview picture, in place, and
    // returns a copy of the result.
    QImage applyEffects(QImage& image);
};
