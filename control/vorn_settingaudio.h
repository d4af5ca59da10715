#pragma once

#include <QWidget>

// The audio settings page: the camera's audio function and processing.
class Vorn_settingAudio : public QWidget
{
    Q_OBJECT
public:
    explicit Vorn_settingAudio(QWidget* parent = nullptr);
    ~Vorn_settingAudio() override;

    void loadAudioState();

signals:
    void audioReboot();

public slots:
    void captureState(bool state);

private:
    bool captureOn = false;
};
