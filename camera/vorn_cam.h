#pragma once

#include "cameradevice.h"
#include "videoinputinfo.h"

#include <QImage>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QTime>

#include <cstdint>
#include <memory>

class CameraDiscovery;
class CaptureModeChooser;
class PreviewPainter;
class QButtonGroup;
class QByteArray;
class QMovie;
class QTimer;
class VolumePopup;
class ControlChannel;
class WindowNetwork;
class ProfileKeeper;
class PtzControls;
class Vorn_FFmpeglib;
class Vorn_SettingVideo;
class Vorn_settingAudio;
class Vorn_settingAI;
class Vorn_SharedMemory;
struct MainWindowInspector;

namespace Ui {
class Vorn_Cam;
}

// The program's one window: settings pages on the left, the live preview
// with its switches and media buttons on the right, the camera choice at
// the bottom.
class Vorn_Cam : public QMainWindow
{
    Q_OBJECT
public:
    explicit Vorn_Cam(QWidget* parent = nullptr);
    ~Vorn_Cam() override;

    // The network servers the settings switch on, hosted while the window runs.
    WindowNetwork* network() const { return m_network; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    void checkValidCameraList(VideoInputList& listCamera);
    void signalReboot(bool);
    void cameraListChange();
    void cameraId(int);
    // The camera behind each cameraId: what the position must still name
    // when firmware is written to it.
    void cameraIdentity(const VideoInputInfo& camera);

private slots:
    void on_CameraView(uint8_t* buffer, int width, int height);
    void on_ChangeSettingUI(int id);
    void comboBox_activated(int index);
    void label_version_TextChange(QString info);
    void label_check_for_new_firmware_Change(bool visible);
    void bt_shot_Clicked();
    void bt_record_Clicked(bool state);
    void pushButton_preview_checked(bool status);
    void checkValidCamerasList();
    void captureState(bool state);
    void on_CameraListChange();
    void horizontalSlider_Volume_sliderMoved(int position);
    void horizontalSlider_MicVolume_sliderMoved(int position);
    void pushButton_register_checked(bool status);
    void captureLib_captureStarted(bool open);

private:
    friend struct MainWindowInspector;

    // Discovery and selection
    void fillCameraComboBox(VideoInputList& listCamera);
    void openCamera(int key);
    void pollCameraList();
    void reselectOpenCamera();
    void announceCamera(int deviceId, const VideoInputInfo& camera);

    // Construction, by concern
    void createPages();
    void createCapture();
    void setUpButtons();
    void connectWindow();

    // Preview
    void closeCamera();
    void setMediaButtonsEnabled(bool enabled);
    void showCameraInUse();
    void startCaptureDeferred();
    void prepareFrameBuffers();
    void showFramesInPreview(bool frames);
    // The camera's own last picture, full size and without effects, made
    // now from what the capture library kept; null before the first one.
    QImage fullSizePicture() const;
    void styleComboBox();

    // Recording clock
    void updateRecordClock();

    // Virtual camera
    void finishVirtualCamera(bool status, bool switched, const QString& failure);
    void setVirtualCameraPending(bool pending);
    static void printLaunchResult(const QByteArray& file, const QByteArray& parameters,
                                  bool started, int code);

    // Speaker and microphone volume pop-ups
    void setupVolumeControls();
    void refreshVolumePopup();
    void refreshMicPopup();

    Ui::Vorn_Cam* ui = nullptr;
    QButtonGroup* settingGroup = nullptr;
    Vorn_SettingVideo* settingVideo = nullptr;
    Vorn_settingAudio* settingAudio = nullptr;
    Vorn_settingAI* settingAI = nullptr;
    ControlChannel* cameraControls = nullptr;
    ProfileKeeper* profileKeeper = nullptr;
    PtzControls* ptzControls = nullptr;
    Vorn_FFmpeglib* captureLib = nullptr;
    CaptureModeChooser* modeChooser = nullptr;
    Vorn_SharedMemory* sharedMemory = nullptr;
    VolumePopup* speakerPopup = nullptr;
    VolumePopup* micPopup = nullptr;
    CameraDiscovery* discovery = nullptr;
    WindowNetwork* m_network = nullptr;
    std::unique_ptr<PreviewPainter> previewPainter;
    VideoInputInfo cameraInfo;
    VideoInputList cameraList;
    int currentIndex = -1;
    QString recordFileName;
    bool captureOn = false;
    QTimer* recordTimer = nullptr;
    QTime recordStartTime = QTime(0, 0, 0, 0);
    QMovie* loadingMovie = nullptr;
    QString virtualCameraName = QStringLiteral("Vorn DShow VCamera");
    bool virtualCameraPresent = false;
    bool virtualCameraPending = false; // the elevated tool has not answered yet
    // Description of a camera let go for a restart while it was previewing.
    QString resumePreviewOf;
};
