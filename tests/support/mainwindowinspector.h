#pragma once

// Test access to the main window's private state. Vorn_Cam declares this
// struct its friend; only tests define and use it.
#include "ui_vorn_cam.h"
#include "vorn_cam.h"

struct MainWindowInspector
{
    explicit MainWindowInspector(Vorn_Cam& window) : w(window) {}

    Ui::Vorn_Cam* ui() const { return w.ui; }
    const CameraTable& cameraTable() const { return w.cameraTable; }
    const VideoInputList& cameraList() const { return w.cameraList; }
    int currentIndex() const { return w.currentIndex; }
    bool captureOn() const { return w.captureOn; }
    const VideoInputInfo& cameraInfo() const { return w.cameraInfo; }
    const QImage& lastFrame() const { return w.lastFrame; }
    bool virtualCameraPresent() const { return w.virtualCameraPresent; }
    Vorn_FFmpeglib* captureLib() const { return w.captureLib; }
    Vorn_SharedMemory* sharedMemory() const { return w.sharedMemory; }
    Vorn_SettingVideo* settingVideo() const { return w.settingVideo; }
    Vorn_settingAudio* settingAudio() const { return w.settingAudio; }
    Vorn_settingAI* settingAI() const { return w.settingAI; }
    QSlider* volumeSlider() const { return w.volumeSlider; }
    QLabel* volumeLabel() const { return w.volumeLabel; }
    QTimer* volumeHideTimer() const { return w.volumeHideTimer; }
    QSlider* micSlider() const { return w.micSlider; }
    QLabel* micLabel() const { return w.micLabel; }
    QTimer* micHideTimer() const { return w.micHideTimer; }
    QTimer* recordTimer() const { return w.recordTimer; }
    QString recordFileName() const { return w.recordFileName; }

    void discoveryPass() { w.checkValidCamerasList(); }
    void activate(int index) { w.comboBox_activated(index); }
    void closeCamera() { w.closeCamera(); }
    void frame(uint8_t* buffer, int width, int height) { w.on_CameraView(buffer, width, height); }
    void shiftRecordStart(int msecs) { w.recordStartTime = w.recordStartTime.addMSecs(msecs); }
    void tickClock() { w.updateRecordClock(); }

    Vorn_Cam& w;
};
