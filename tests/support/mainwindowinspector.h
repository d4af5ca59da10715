#pragma once

// Test access to the main window's private state. Vorn_Cam declares this
// struct its friend; only tests define and use it.
#include "cameradiscovery.h"
#include "ui_vorn_cam.h"
#include "volumepopup.h"
#include "vorn_cam.h"

struct MainWindowInspector
{
    explicit MainWindowInspector(Vorn_Cam& window) : w(window) {}

    Ui::Vorn_Cam* ui() const { return w.ui; }
    const CameraTable& cameraTable() const { return w.discovery->table(); }
    int currentIndex() const { return w.currentIndex; }
    bool captureOn() const { return w.captureOn; }
    const VideoInputInfo& cameraInfo() const { return w.cameraInfo; }
    // What a snapshot would save now: made anew at every call.
    QImage lastFrame() const { return w.fullSizePicture(); }
    bool virtualCameraPresent() const { return w.virtualCameraPresent; }
    Vorn_FFmpeglib* captureLib() const { return w.captureLib; }
    Vorn_SettingVideo* settingVideo() const { return w.settingVideo; }
    Vorn_settingAudio* settingAudio() const { return w.settingAudio; }
    Vorn_settingAI* settingAI() const { return w.settingAI; }
    QSlider* volumeSlider() const { return w.speakerPopup->slider(); }
    QSlider* micSlider() const { return w.micPopup->slider(); }
    QTimer* recordTimer() const { return w.recordTimer; }
    QString recordFileName() const { return w.recordFileName; }

    void discoveryPass() { w.checkValidCamerasList(); }
    void activate(int index) { w.comboBox_activated(index); }
    void shiftRecordStart(int msecs) { w.recordStartTime = w.recordStartTime.addMSecs(msecs); }
    void tickClock() { w.updateRecordClock(); }

    Vorn_Cam& w;
};
