#pragma once

#include "controlchannel.h"
#include "videoinputinfo.h"
#include "videosettingsreading.h"

#include <QString>
#include <QWidget>

class CameraMover;
class FramingEngine;
class FramingSwitch;
class QEvent;
class QLabel;
class QPushButton;
class SliderValueLabel;

namespace Ui {
class Vorn_SettingVideo;
}

// The video settings page: motion, picture and style controls of the
// opened camera. Every control goes to the camera's control worker at once,
// in the order the user works them; whenever a camera is opened (and after
// the advanced dialog or a factory reset) the page reads the camera's
// settings back onto its controls when the worker has read them.
class Vorn_SettingVideo : public QWidget
{
    Q_OBJECT
public:
    // Its camera requests go through controls, the chosen camera's channel.
    explicit Vorn_SettingVideo(ControlChannel& controls, QWidget* parent = nullptr);
    ~Vorn_SettingVideo() override;

    // Called once, right after construction.
    void connectControls(const VideoInputInfo& camera);
    void setCameraInfo(const VideoInputInfo& camera);
    // Binds both property instances to selectedCamera and reads its settings.
    void openDevice();

    bool eventFilter(QObject* watched, QEvent* event) override;

    // Every move of the camera's head the page makes goes through it. It
    // lives on the control worker's thread: reach it through controls().
    CameraMover* cameraMover() const { return controls().mover(); }
    // Where the page's camera requests go.
    ControlChannel& controls() const { return m_controls; }
    // Auto framing of the opened camera; the main window offers it frames.
    FramingEngine* framingEngine() const;
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

private:
    void readCameraSettings();
    void readLastCameraName();
    void showReading(const VideoSettingsReading& reading);
    void showSetting(const ControlDescriptor& setting, const VideoSettingsReading::Value& value);
    void showStyle(int style);
    // The slider and value label the catalogue names for a setting.
    SliderValueLabel sliderOf(const ControlDescriptor& control) const;
    void send(const ControlDescriptor& control, int value);
    void settingMoved(const ControlDescriptor& setting, int position);

    void startMotion(const ControlDescriptor& motion);
    void stopRelativeMotion(long property);
    void sendZoom(int direction);
    void restoreFactorySettings();
    void colourShiftMoved(const ControlDescriptor& colour, int position);
    void setSliderInactive(const ControlDescriptor& setting, QLabel* title, QWidget* box);

    ControlChannel& m_controls;
    Ui::Vorn_SettingVideo* ui = nullptr;
    QString lastCameraName;
    bool captureOn = false;
    VideoInputInfo selectedCamera;
    // A zoom started by a press is stopped by its release even when the
    // capture went off while the button was held; the camera would go on
    // zooming otherwise. (Pan and tilt keep theirs on the worker, which
    // knows whether they started.)
    bool zoomMoving = false;
    // Releases of slider handles: positions of one drag may be merged.
    int drags = 0;
    FramingSwitch* framing = nullptr;
};
