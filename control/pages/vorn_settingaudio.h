#pragma once

#include <QWidget>

class ControlChannel;

namespace Ui {
class Vorn_settingAudio;
}

// The audio settings page: the camera's own audio function and its audio
// processing, each one byte of the main extension unit.
class Vorn_settingAudio : public QWidget
{
    Q_OBJECT
public:
    // Its camera requests go through controls, the chosen camera's channel.
    explicit Vorn_settingAudio(ControlChannel& controls, QWidget* parent = nullptr);
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

    void sendSwitch(const char* name, bool on);

    ControlChannel& m_controls;
    Ui::Vorn_settingAudio* ui = nullptr;
    bool captureOn = false;
};
