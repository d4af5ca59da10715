#include "vorn_cam.h"

#include "ui_vorn_cam.h"

Vorn_Cam::Vorn_Cam(QWidget* parent) : QMainWindow(parent), ui(new Ui::Vorn_Cam)
{
    ui->setupUi(this);
}

Vorn_Cam::~Vorn_Cam()
{
    delete ui;
}

void Vorn_Cam::on_CameraView(uint8_t*, int, int) {}
void Vorn_Cam::on_ChangeSettingUI(int) {}
void Vorn_Cam::comboBox_activated(int) {}
void Vorn_Cam::label_version_TextChange(QString) {}
void Vorn_Cam::label_check_for_new_firmware_Change(bool) {}
void Vorn_Cam::pushButton_preview_checked(bool) {}
void Vorn_Cam::checkValidCamerasList() {}
void Vorn_Cam::captureState(bool) {}
void Vorn_Cam::on_CameraListChange() {}
void Vorn_Cam::fillCameraComboBox(VideoInputList&) {}
void Vorn_Cam::openCamera(int) {}
void Vorn_Cam::pollCameraList() {}
void Vorn_Cam::reselectOpenCamera() {}
void Vorn_Cam::closeCamera() {}
void Vorn_Cam::setMediaButtonsEnabled(bool) {}
void Vorn_Cam::showCameraInUse() {}
void Vorn_Cam::startCaptureDeferred() {}
void Vorn_Cam::styleComboBox() {}
