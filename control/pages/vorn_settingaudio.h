#pragma once

#include <QWidget>

namespace Ui {
class Vorn_settingAudio;
}

// The audio settings page: the camera's own audio function and its audio
// processing, each one byte of the main extension unit.
class Vorn_settingAudio : public QWidget
{
    Q_OBJECT
public:
    explicit Vorn_settingAudio(QWidget* parent = nullptr);
    ~Vorn_settingAudio() override;

    // Reads both switches from the camera opened last.
    void loadAudioState();

signals:
    void audioReboot();

public slots:
    void captureState(bool state);

private slots:
    void pushButton_Audio_Checked(bool check);
    void pushButton_Audio_Algo_Checked(bool check);

private:
    void setLabelsLook(bool active);

    Ui::Vorn_settingAudio* ui = nullptr;
    bool captureOn = false;
};
