#pragma once

#include <QImage>
#include <QMap>
#include <QWidget>

class QLineEdit;
class QSlider;

namespace Ui {
class Vorn_settingAI;
}

// The preview effects; the order of the values is the order in which they
// are applied.
enum class EffectKind : quint8
{
    Warm = 1,
    Cool = 2,
    Vague = 3,
    SkinSmooth = 4,
};

// The effect page: strengths of the preview effects, and the effect chain
// the main window runs over every preview picture.
class Vorn_settingAI : public QWidget
{
    Q_OBJECT
    friend struct Vorn_settingAIInspector;

public:
    explicit Vorn_settingAI(QWidget* parent = nullptr);
    ~Vorn_settingAI() override;

    // Runs the enabled effects over one preview picture, in place, and
    // returns a copy of the result.
    QImage applyEffects(QImage& image);
    // Whether applyEffects would change a picture at all.
    bool anyEffectOn() const;

private slots:
    void slider_0_value_change(int value);
    void slider_1_value_change(int value);
    void slider_2_value_change(int value);
    void slider_3_value_change(int value);

private:
    void setEffect(EffectKind kind, int& strength, QLineEdit* edit, int value);
    void connectTypedValue(QLineEdit* edit, QSlider* slider);
    bool isOn(EffectKind kind) const { return effectEnabled.value(kind, false); }
    void applyTones(QImage& image);
    void applyBlur(QImage& image);
    void applySmoothing(QImage& image);

    Ui::Vorn_settingAI* ui = nullptr;
    int warmAmount = -1;
    int coolAmount = -1;
    int vagueSigma = -1;
    int smoothSigma = -1;
    QMap<EffectKind, bool> effectEnabled;
    // Output pictures of the steps, reused from frame to frame.
    QImage toneBuffer;
    QImage blurBuffer;
    QImage smoothBuffer;
};
