#pragma once

#include "videoinputinfo.h"

#include <QWidget>

// The video settings page: motion, picture and style controls of the
// opened camera.
class Vorn_SettingVideo : public QWidget
{
    Q_OBJECT
public:
    explicit Vorn_SettingVideo(QWidget* parent = nullptr);
    ~Vorn_SettingVideo() override;

    void connectControls(const VideoInputInfo& camera);
    void setCameraInfo(const VideoInputInfo& camera);
    void openDevice();

signals:
    void versionInfo(QString info);
    void checkUpStatus(bool status);

public slots:
    void captureState(bool state);

private:
    VideoInputInfo selectedCamera;
    bool captureOn = false;
};
