#include "vorn_settingvideo.h"

#include "dialogseam.h"
#include "propertytransport.h"
#include "ui_vorn_settingvideo.h"
#include "vorn_cameraproperty.h"

#include <QDebug>
#include <QEvent>
#include <QFile>
#include <QSettings>
#include <QSignalBlocker>
#include <QTimer>

#include <cstdlib>
#include <cstring>

namespace {

// Selectors of the main extension unit (the zoom motion is on the zoom unit).
constexpr unsigned long kDeviceInfo = 9;
constexpr unsigned long kExposureMode = 10;
constexpr unsigned long kExposureValue = 11;
constexpr unsigned long kZoomMotion = 12;
constexpr unsigned long kImageStyle = 13;
constexpr unsigned long kBlueShift = 14;
constexpr unsigned long kRedShift = 15;
constexpr unsigned long kFactoryReset = 23;
constexpr unsigned long kVerticalFlip = 24;
constexpr unsigned long kHorizontalFlip = 25;

constexpr unsigned char kStyleMeeting = 6;
constexpr unsigned char kStyleLive = 5;
constexpr unsigned char kZoomIn = 0x01;
constexpr unsigned char kZoomOut = 0xFF;
constexpr unsigned char kZoomSpeed = 6;
constexpr int kDeviceInfoLength = 24;
constexpr int kHideValueLabelMs = 1000;
constexpr int kValueLabelY = 5;

const QString kActiveLook = QStringLiteral("color: rgb(255, 255, 255);\n"
                                           "font: 16px \"Brandon Text Medium\";\n"
                                           "border: none;\n"
                                           "background: transparent;");
const QString kInactiveLook = QStringLiteral("color: grey;\n"
                                             "font: 16px \"Brandon Text Medium\";\n"
                                             "border: none;\n"
                                             "background: transparent;");

long sendByte(unsigned long selector, unsigned char value)
{
    return cameraProperty.extensionUnitRequest(selector, PropertyFlags::Set, &value, 1);
}

bool readByte(unsigned long selector, unsigned char* value)
{
    return cameraProperty.extensionUnitRequest(selector, PropertyFlags::Get, value, 1) >= 0;
}

// The camera keeps these values as signed bytes.
int signedByte(unsigned char byte)
{
    return byte > 0x80 ? byte - 256 : byte;
}

unsigned char lowByte(int value)
{
    return static_cast<unsigned char>(value & 0xFF);
}

// The usable track of the 210-pixel sliders starts 10 pixels in and is
// 10 pixels shorter than the slider.
int trackLength(const QSlider* slider)
{
    return slider->geometry().width() - 10;
}

int valueLabelX(const QSlider* slider, int value)
{
    const int minimum = slider->minimum();
    const int span = std::abs(slider->maximum() - minimum);
    if (span == 0) {
        return 10;
    }
    const double scale = double(trackLength(slider)) / span;
    return int(std::abs(value - minimum) * scale + 10.0);
}

void placeValueLabel(const QSlider* slider, QLabel* label, int value)
{
    label->move(valueLabelX(slider, value), kValueLabelY);
    label->show();
    label->setText(QStringLiteral("%1").arg(value));
}

bool isSV417Family(const VideoInputInfo& camera)
{
    const QString description = camera.description();
    return description.contains(QLatin1String("SV-CAM-417"), Qt::CaseSensitive) ||
           description.contains(QLatin1String("Solvane"), Qt::CaseSensitive);
}

} // namespace

Vorn_SettingVideo::Vorn_SettingVideo(QWidget* parent)
    : QWidget(parent), ui(new Ui::Vorn_SettingVideo)
{
    ui->setupUi(this);
    for (QLabel* link : {ui->label_UVCSettings, ui->label_restore_to_factory_settings}) {
        link->installEventFilter(this);
        link->setMouseTracking(true);
    }
    captureState(false);
}

Vorn_SettingVideo::~Vorn_SettingVideo()
{
    delete ui;
}

void Vorn_SettingVideo::connectControls(const VideoInputInfo& camera)
{
    selectedCamera = camera;
    using Self = Vorn_SettingVideo;
    const struct
    {
        QPushButton* button;
        void (Self::*pressed)();
        void (Self::*released)();
    } motions[] = {
        {ui->pushButton_left, &Self::pushButton_left_pressed, &Self::pushButton_left_released},
        {ui->pushButton_right, &Self::pushButton_right_pressed, &Self::pushButton_right_released},
        {ui->pushButton_up, &Self::pushButton_up_pressed, &Self::pushButton_up_released},
        {ui->pushButton_down, &Self::pushButton_down_pressed, &Self::pushButton_down_released},
        {ui->pushButton_zoomin, &Self::pushButton_zoomin_pressed,
         &Self::pushButton_zoomin_released},
        {ui->pushButton_zoomout, &Self::pushButton_zoomout_pressed,
         &Self::pushButton_zoomout_released},
    };
    for (const auto& motion : motions) {
        connect(motion.button, &QPushButton::pressed, this, motion.pressed);
        connect(motion.button, &QPushButton::released, this, motion.released);
    }
    connect(ui->pushButton_home, &QPushButton::pressed, this, &Self::pushButton_home_pressed);
    connect(ui->pushButton_FlipV, &QPushButton::toggled, this, &Self::pushButton_FlipV_checked);
    connect(ui->pushButton_FlipH, &QPushButton::toggled, this, &Self::pushButton_FlipH_checked);

    const struct
    {
        QSlider* slider;
        QLabel* valueLabel;
        void (Self::*moved)(int);
    } sliders[] = {
        {ui->horizontalSlider, ui->label_SliderValue, &Self::horizontalSlider_sliderMoved},
        {ui->horizontalSlider_DRC, ui->label_SliderValue_DRC,
         &Self::horizontalSlider_DRC_sliderMoved},
        {ui->horizontalSlider_RG, ui->label_SliderValue_RG, &Self::horizontalSlider_RG_sliderMoved},
        {ui->horizontalSlider_BG, ui->label_SliderValue_BG, &Self::horizontalSlider_BG_sliderMoved},
    };
    for (const auto& entry : sliders) {
        connect(entry.slider, &QSlider::sliderMoved, this, entry.moved);
        QSlider* slider = entry.slider;
        QLabel* valueLabel = entry.valueLabel;
        connect(slider, &QSlider::sliderReleased, this,
                [this, slider, valueLabel] { hideValueLabelAfterRelease(slider, valueLabel); });
    }
}

void Vorn_SettingVideo::setCameraInfo(const VideoInputInfo& camera)
{
    selectedCamera = camera;
}

void Vorn_SettingVideo::openDevice()
{
    const QString deviceName = selectedCamera.deviceName();
    zoomProperty.open(deviceName);
    cameraProperty.open(deviceName);
    readCameraSettings();
}

// ---------------------------------------------------------------------------
// Capture state

void Vorn_SettingVideo::setSliderInactive(QSlider* slider, QLabel* title, QWidget* box,
                                          QLabel* valueLabel)
{
    slider->setValue(slider->minimum());
    title->setStyleSheet(kInactiveLook);
    box->setEnabled(false);
    valueLabel->move(10, kValueLabelY);
    valueLabel->setText(QStringLiteral("%1").arg(slider->minimum()));
    valueLabel->show();
}

void Vorn_SettingVideo::captureState(bool state)
{
    captureOn = state;
    if (state) {
        for (QLabel* label :
             {ui->label_Exposure, ui->label_DRC, ui->label_RG, ui->label_BG, ui->label_FlipH,
              ui->label_FlipV, ui->label_UVCSettings, ui->label_restore_to_factory_settings}) {
            label->setStyleSheet(kActiveLook);
        }
        for (QWidget* widget :
             {static_cast<QWidget*>(ui->ExposureBox), static_cast<QWidget*>(ui->DRC_CTLBox),
              static_cast<QWidget*>(ui->RG_CTLBox), static_cast<QWidget*>(ui->BG_CTLBox),
              static_cast<QWidget*>(ui->pushButton_FlipH),
              static_cast<QWidget*>(ui->pushButton_FlipV)}) {
            widget->setEnabled(true);
        }
        return;
    }
    setSliderInactive(ui->horizontalSlider, ui->label_Exposure, ui->ExposureBox,
                      ui->label_SliderValue);
    setSliderInactive(ui->horizontalSlider_DRC, ui->label_DRC, ui->DRC_CTLBox,
                      ui->label_SliderValue_DRC);
    setSliderInactive(ui->horizontalSlider_RG, ui->label_RG, ui->RG_CTLBox,
                      ui->label_SliderValue_RG);
    setSliderInactive(ui->horizontalSlider_BG, ui->label_BG, ui->BG_CTLBox,
                      ui->label_SliderValue_BG);
    ui->label_FlipH->setStyleSheet(kInactiveLook);
    ui->label_FlipV->setStyleSheet(kInactiveLook);
    ui->pushButton_FlipH->setEnabled(false);
    ui->pushButton_FlipV->setEnabled(false);
    ui->label_UVCSettings->setStyleSheet(kInactiveLook);
    ui->label_restore_to_factory_settings->setStyleSheet(kInactiveLook);
}

// ---------------------------------------------------------------------------
// Pan, tilt, zoom and home

void Vorn_SettingVideo::startRelativeMotion(long property, int direction, bool* moving)
{
    CameraControl* control = cameraProperty.cameraControl;
    if (!captureOn || !control) {
        return;
    }
    long speed = 0;
    if (control->GetRange(property, nullptr, nullptr, nullptr, &speed, nullptr) < 0) {
        return;
    }
    qDebug() << "default speed:" << speed;
    control->Set(property, direction * speed, ControlFlags::Manual);
    *moving = true;
}

void Vorn_SettingVideo::stopRelativeMotion(long property, bool* moving)
{
    CameraControl* control = cameraProperty.cameraControl;
    if ((!captureOn && !*moving) || !control) {
        *moving = false;
        return;
    }
    control->Set(property, 0, ControlFlags::Manual);
    *moving = false;
}

void Vorn_SettingVideo::goHome()
{
    CameraControl* control = cameraProperty.cameraControl;
    if (!control) {
        return;
    }
    control->Set(CameraControlProperty::Pan, 0, ControlFlags::Manual);
    control->Set(CameraControlProperty::Tilt, 0, ControlFlags::Manual);
    control->Set(CameraControlProperty::Zoom, 0, ControlFlags::Manual);
}

void Vorn_SettingVideo::pushButton_home_pressed()
{
    if (captureOn) {
        goHome();
    }
}

void Vorn_SettingVideo::pushButton_left_pressed()
{
    startRelativeMotion(CameraControlProperty::PanRelative, -1, &panMoving);
}

void Vorn_SettingVideo::pushButton_left_released()
{
    stopRelativeMotion(CameraControlProperty::PanRelative, &panMoving);
}

void Vorn_SettingVideo::pushButton_right_pressed()
{
    startRelativeMotion(CameraControlProperty::PanRelative, 1, &panMoving);
}

void Vorn_SettingVideo::pushButton_right_released()
{
    stopRelativeMotion(CameraControlProperty::PanRelative, &panMoving);
}

void Vorn_SettingVideo::pushButton_up_pressed()
{
    startRelativeMotion(CameraControlProperty::TiltRelative, 1, &tiltMoving);
}

void Vorn_SettingVideo::pushButton_up_released()
{
    stopRelativeMotion(CameraControlProperty::TiltRelative, &tiltMoving);
}

void Vorn_SettingVideo::pushButton_down_pressed()
{
    startRelativeMotion(CameraControlProperty::TiltRelative, -1, &tiltMoving);
}

void Vorn_SettingVideo::pushButton_down_released()
{
    stopRelativeMotion(CameraControlProperty::TiltRelative, &tiltMoving);
}

// Same three-byte layout as the relative-zoom control of the USB Video Class.
void Vorn_SettingVideo::sendZoom(unsigned char direction, unsigned char speed)
{
    unsigned char data[3] = {direction, 0, speed};
    zoomProperty.extensionUnitRequest(kZoomMotion, PropertyFlags::Set, data, sizeof data);
}

void Vorn_SettingVideo::pushButton_zoomin_pressed()
{
    if (captureOn) {
        sendZoom(kZoomIn, kZoomSpeed);
        zoomMoving = true;
    }
}

void Vorn_SettingVideo::pushButton_zoomin_released()
{
    if (captureOn || zoomMoving) {
        sendZoom(0, 0);
    }
    zoomMoving = false;
}

void Vorn_SettingVideo::pushButton_zoomout_pressed()
{
    if (captureOn) {
        sendZoom(kZoomOut, kZoomSpeed);
        zoomMoving = true;
    }
}

void Vorn_SettingVideo::pushButton_zoomout_released()
{
    pushButton_zoomin_released();
}

// ---------------------------------------------------------------------------
// Flips, sliders and style

void Vorn_SettingVideo::pushButton_FlipV_checked(bool status)
{
    if (captureOn) {
        sendByte(kVerticalFlip, status ? 1 : 0);
    }
}

void Vorn_SettingVideo::pushButton_FlipH_checked(bool status)
{
    if (captureOn) {
        sendByte(kHorizontalFlip, status ? 1 : 0);
    }
}

void Vorn_SettingVideo::horizontalSlider_sliderMoved(int position)
{
    if (!captureOn) {
        return;
    }
    placeValueLabel(ui->horizontalSlider, ui->label_SliderValue, position);
    if (position == 0) {
        sendByte(kExposureMode, 1); // automatic exposure
        return;
    }
    sendByte(kExposureMode, 0);
    sendByte(kExposureValue, lowByte(position));
}

void Vorn_SettingVideo::horizontalSlider_DRC_sliderMoved(int position)
{
    if (!captureOn) {
        return;
    }
    placeValueLabel(ui->horizontalSlider_DRC, ui->label_SliderValue_DRC, position);
    cameraProperty.setVideoProcAmp(VideoProcAmpProperty::Contrast, position, ControlFlags::Manual);
}

void Vorn_SettingVideo::horizontalSlider_BG_sliderMoved(int position)
{
    colourShiftMoved(kBlueShift, ui->horizontalSlider_BG, ui->label_SliderValue_BG, position);
}

void Vorn_SettingVideo::horizontalSlider_RG_sliderMoved(int position)
{
    colourShiftMoved(kRedShift, ui->horizontalSlider_RG, ui->label_SliderValue_RG, position);
}

// Negative shifts exist only while white balance is manual: the camera's
// automatic white balance would undo them.
void Vorn_SettingVideo::colourShiftMoved(unsigned long selector, QSlider* slider,
                                         QLabel* valueLabel, int position)
{
    if (!captureOn) {
        return;
    }
    placeValueLabel(slider, valueLabel, position);
    cameraProperty.readWhiteBalanceMode();
    // Qt reports the handle's jump after a range change as a move of the
    // held handle, which is not the user's choice and must not reach the
    // camera; a widened range must not take the handle from under the
    // user's finger either.
    if (position >= 0 || cameraProperty.whiteBalanceMode != ControlFlags::Auto) {
        if (slider->minimum() != -10) {
            const QSignalBlocker quiet(slider);
            slider->setMinimum(-10);
            slider->setSliderPosition(position);
        }
        sendByte(selector, lowByte(position));
        return;
    }
    {
        const QSignalBlocker quiet(slider);
        slider->setMinimum(0);
    }
    valueLabel->move(int(0.5 * trackLength(slider) + 10), kValueLabelY);
}

void Vorn_SettingVideo::hideValueLabelAfterRelease(QSlider* slider, QLabel* valueLabel)
{
    // At its minimum the slider keeps its value on show.
    if (slider->value() != slider->minimum()) {
        QTimer::singleShot(kHideValueLabelMs, this, [valueLabel] { valueLabel->hide(); });
    }
}

void Vorn_SettingVideo::on_checkBox_Meeting_stateChanged(int)
{
    if (!ui->checkBox_Meeting->isChecked()) {
        return;
    }
    sendByte(kImageStyle, kStyleMeeting);
    ui->checkBox_Live->setEnabled(true);
    ui->checkBox_Live->setChecked(false);
    ui->checkBox_Meeting->setEnabled(false);
}

void Vorn_SettingVideo::on_checkBox_Live_stateChanged(int)
{
    if (!ui->checkBox_Live->isChecked()) {
        return;
    }
    sendByte(kImageStyle, kStyleLive);
    ui->checkBox_Meeting->setEnabled(true);
    ui->checkBox_Meeting->setChecked(false);
    ui->checkBox_Live->setEnabled(false);
}

void Vorn_SettingVideo::Get_style()
{
    unsigned char style = 0;
    if (!readByte(kImageStyle, &style)) {
        return;
    }
    if (style == kStyleMeeting) {
        ui->checkBox_Meeting->setChecked(true);
        ui->checkBox_Live->setChecked(false);
    } else if (style == kStyleLive) {
        ui->checkBox_Live->setChecked(true);
        ui->checkBox_Meeting->setChecked(false);
    }
}

// ---------------------------------------------------------------------------
// Links

bool Vorn_SettingVideo::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseButtonPress || !captureOn) {
        return false;
    }
    if (watched == ui->label_UVCSettings) {
        if (cameraProperty.showPropertyDialog()) {
            readCameraSettings();
        }
    } else if (watched == ui->label_restore_to_factory_settings) {
        restoreFactorySettings();
    }
    return false;
}

void Vorn_SettingVideo::restoreFactorySettings()
{
    const QMessageBox::StandardButton answer = DialogSeam::information(
        nullptr, QStringLiteral("Notice"), QStringLiteral("Restore to default settings?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer == QMessageBox::No) {
        return;
    }
    sendByte(kFactoryReset, 1);
    goHome();
    readCameraSettings();
}

// ---------------------------------------------------------------------------
// Reading the camera's settings back

void Vorn_SettingVideo::readCameraSettings()
{
    readLastCameraName();
    if (!captureOn) {
        return;
    }
    readVersion();
    emit checkUpStatus(true);

    ui->horizontalSlider->setRange(-7, 7);
    long contrastMin = 0;
    long contrastMax = 0;
    if (cameraProperty.getVideoProcAmpRange(VideoProcAmpProperty::Contrast, &contrastMin,
                                            &contrastMax) < 0) {
        contrastMin = 0;
        contrastMax = 0;
    }
    ui->horizontalSlider_DRC->setRange(int(contrastMin), int(contrastMax));
    ui->horizontalSlider_RG->setRange(-10, 10);
    ui->horizontalSlider_BG->setRange(-10, 10);

    readFlips();
    readExposure();
    readContrast();
    readColourShift(kRedShift, ui->horizontalSlider_RG,
                    &Vorn_SettingVideo::horizontalSlider_RG_sliderMoved);
    readColourShift(kBlueShift, ui->horizontalSlider_BG,
                    &Vorn_SettingVideo::horizontalSlider_BG_sliderMoved);
    Get_style();
}

void Vorn_SettingVideo::readLastCameraName()
{
    const QString file = QStringLiteral("config.ini");
    if (!QFile::exists(file)) {
        return;
    }
    QSettings settings(file, QSettings::IniFormat);
    lastCameraName = settings.value(QStringLiteral("CAM/name")).toString();
    qDebug() << "last_camera_name: " << lastCameraName;
}

void Vorn_SettingVideo::readVersion()
{
    char info[kDeviceInfoLength] = {};
    if (cameraProperty.extensionUnitRequest(kDeviceInfo, PropertyFlags::Get, info, sizeof info) <
        0) {
        emit versionInfo(QStringLiteral("Get device info failed!"));
        return;
    }
    // The text ends at the first zero byte or at the end of the buffer.
    const QString text = QString::fromLatin1(info, int(qstrnlen(info, sizeof info)));
    const QStringList parts = text.split(QLatin1Char(':'));
    // An answer without a field name is all version.
    const QString version = parts.size() > 1 ? parts.at(1) : text;
    emit versionInfo(isSV417Family(selectedCamera) ? QStringLiteral("FW: ") + version : version);
}

void Vorn_SettingVideo::readFlips()
{
    // A switch that changes runs its flip handler, which writes the value back.
    unsigned char flip = 0;
    if (readByte(kHorizontalFlip, &flip)) {
        ui->pushButton_FlipH->setChecked(flip == 1);
    }
    flip = 0;
    if (readByte(kVerticalFlip, &flip)) {
        ui->pushButton_FlipV->setChecked(flip == 1);
    }
}

void Vorn_SettingVideo::readExposure()
{
    ui->horizontalSlider->setValue(0);
    unsigned char exposure = 0;
    if (!readByte(kExposureValue, &exposure)) {
        return;
    }
    const int value = signedByte(exposure);
    ui->horizontalSlider->setValue(value);
    // The handler writes mode and value back; 0 is automatic exposure.
    horizontalSlider_sliderMoved(value);
}

void Vorn_SettingVideo::readContrast()
{
    long contrast = 0;
    long flags = 0;
    if (cameraProperty.getVideoProcAmp(VideoProcAmpProperty::Contrast, &contrast, &flags) < 0) {
        return;
    }
    ui->horizontalSlider_DRC->setValue(int(contrast > 255 ? contrast - 256 : contrast));
    // The value read goes back, not the slider's: with an empty range (the
    // range query failed) the slider holds 0, which the camera must not get.
    horizontalSlider_DRC_sliderMoved(int(contrast));
}

void Vorn_SettingVideo::readColourShift(unsigned long selector, QSlider* slider,
                                        void (Vorn_SettingVideo::*handler)(int))
{
    unsigned char shift = 0;
    if (!readByte(selector, &shift)) {
        return;
    }
    slider->setValue(signedByte(shift));
    (this->*handler)(slider->value());
}
