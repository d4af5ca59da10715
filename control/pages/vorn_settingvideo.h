#pragma once

#include "videoinputinfo.h"

#include <QString>
#include <QWidget>

class CameraMover;
class FramingEngine;
class QEvent;
class QLabel;
class QSlider;

namespace Ui {
class Vorn_SettingVideo;
}

// The video settings page: motion, picture and style controls of the
// opened camera. Every control goes to the camera at once; whenever a
// camera is opened (and after the advanced dialog or a factory reset) the
// page reads the camera's settings back onto its controls.
class Vorn_SettingVideo : public QWidget
{
    Q_OBJECT
public:
    explicit Vorn_SettingVideo(QWidget* parent = nullptr);
    ~Vorn_SettingVideo() override;

    // Called once, right after construction.
    void connectControls(const VideoInputInfo& camera);
    void setCameraInfo(const VideoInputInfo& camera);
    // Binds both property instances to selectedCamera and reads its settings.
    void openDevice();

    bool eventFilter(QObject* watched, QEvent* event) override;

    // Every move of the camera's head the page makes goes through it.
    CameraMover* cameraMover() const { return mover; }
    // Auto framing of the opened camera; the main window offers it frames.
    FramingEngine* framingEngine() const { return framing; }
    // Whether the preview shows the faces found and the box being framed.
    bool framingOverlayShown() const;

signals:
    void versionInfo(QString info);
    void checkUpStatus(bool status);

public slots:
    void captureState(bool state);

private slots:
    void pushButton_home_pressed();
    void pushButton_left_pressed();
    void pushButton_left_released();
    void pushButton_right_pressed();
    void pushButton_right_released();
    void pushButton_up_pressed();
    void pushButton_up_released();
    void pushButton_down_pressed();
    void pushButton_down_released();
    void pushButton_zoomin_pressed();
    void pushButton_zoomin_released();
    void pushButton_zoomout_pressed();
    void pushButton_zoomout_released();
    void pushButton_FlipV_checked(bool status);
    void pushButton_FlipH_checked(bool status);
    void horizontalSlider_sliderMoved(int position);
    void horizontalSlider_DRC_sliderMoved(int position);
    void horizontalSlider_BG_sliderMoved(int position);
    void horizontalSlider_RG_sliderMoved(int position);
    void on_checkBox_Meeting_stateChanged(int arg1);
    void on_checkBox_Live_stateChanged(int arg1);
    void Get_style();

public slots:
    // Any manual move of the camera (pad, keys, presets): auto framing
    // pauses until switched on again or its pause time has passed.
    void pauseAutoFraming();

private slots:
    void pushButton_AutoFraming_checked(bool status);

private:
    void readCameraSettings();
    void readLastCameraName();
    void readVersion();
    void readFlips();
    void readExposure();
    void readContrast();
    void readColourShift(unsigned long selector, QSlider* slider, QLabel* valueLabel);
    void showExposure(int position);
    void setupAutoFraming();
    void bindAutoFraming();

    void startRelativeMotion(long property, int direction, bool* moving);
    void stopRelativeMotion(long property, bool* moving);
    void sendZoom(unsigned char direction);
    void goHome();
    void restoreFactorySettings();
    void colourShiftMoved(unsigned long selector, QSlider* slider, QLabel* valueLabel,
                          int position);
    void hideValueLabelAfterRelease(QSlider* slider, QLabel* valueLabel);
    void setSliderInactive(QSlider* slider, QLabel* title, QWidget* box, QLabel* valueLabel);

    Ui::Vorn_SettingVideo* ui = nullptr;
    CameraMover* mover = nullptr;
    QString lastCameraName;
    bool captureOn = false;
    VideoInputInfo selectedCamera;
    // A motion started by a press is stopped by its release even when the
    // capture went off while the button was held; the camera would go on
    // moving otherwise.
    bool panMoving = false;
    bool tiltMoving = false;
    bool zoomMoving = false;
    FramingEngine* framing = nullptr;
};
