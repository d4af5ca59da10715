#include "vorn_settingvideo.h"

#include "cameramover.h"
#include "cameraprofilestore.h"
#include "camerasettings.h"
#include "dialogseam.h"
#include "framingengine.h"
#include "propertynotice.h"
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

using namespace CameraSettings;

long sendByte(unsigned long selector, unsigned char value)
{
    return writeByte(cameraProperty, selector, value);
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

} // namespace

Vorn_SettingVideo::Vorn_SettingVideo(QWidget* parent)
    : QWidget(parent), ui(new Ui::Vorn_SettingVideo)
{
    ui->setupUi(this);
    // The property layer shows no widget itself: its notices (a vendor
    // dialog that cannot be shown) are this window's message boxes.
    PropertyNotice::setHandler(&DialogSeam::notice);
    mover = new CameraMover(cameraProperty, zoomProperty, this);
    for (QLabel* link : {ui->label_UVCSettings, ui->label_restore_to_factory_settings}) {
        link->installEventFilter(this);
        link->setMouseTracking(true);
    }
    setupAutoFraming();
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
    bindAutoFraming();
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
        // Bound to the camera when openDevice has bound the properties.
        ui->label_AutoFraming->setStyleSheet(kActiveLook);
        return;
    }
    ui->pushButton_AutoFraming->setChecked(false);
    ui->pushButton_AutoFraming->setEnabled(false);
    ui->label_AutoFraming->setStyleSheet(kInactiveLook);
    framing->unbind();
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
    if (captureOn && mover->startRelative(property, direction)) {
        *moving = true;
    }
}

void Vorn_SettingVideo::stopRelativeMotion(long property, bool* moving)
{
    if (captureOn || *moving) {
        mover->stopRelative(property);
    }
    *moving = false;
}

void Vorn_SettingVideo::goHome()
{
    mover->home();
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

void Vorn_SettingVideo::sendZoom(unsigned char direction)
{
    if (direction == 0) {
        mover->stopZoom();
    } else {
        mover->startZoom(direction == kZoomIn ? 1 : -1);
    }
}

void Vorn_SettingVideo::pushButton_zoomin_pressed()
{
    if (captureOn) {
        sendZoom(kZoomIn);
        zoomMoving = true;
    }
}

void Vorn_SettingVideo::pushButton_zoomin_released()
{
    if (captureOn || zoomMoving) {
        sendZoom(0);
    }
    zoomMoving = false;
}

void Vorn_SettingVideo::pushButton_zoomout_pressed()
{
    if (captureOn) {
        sendZoom(kZoomOut);
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
    showExposure(position);
    writeExposure(cameraProperty, position);
}

// The exposure slider's 0 is the camera's automatic exposure.
void Vorn_SettingVideo::showExposure(int position)
{
    placeValueLabel(ui->horizontalSlider, ui->label_SliderValue, position);
    if (position == 0) {
        ui->label_SliderValue->setText(tr("Auto"));
    }
}

void Vorn_SettingVideo::horizontalSlider_DRC_sliderMoved(int position)
{
    if (!captureOn) {
        return;
    }
    placeValueLabel(ui->horizontalSlider_DRC, ui->label_SliderValue_DRC, position);
    writeContrast(cameraProperty, position);
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
    const bool allowed = colourShiftAllowed(cameraProperty, position);
    // Qt reports the handle's jump after a range change as a move of the
    // held handle, which is not the user's choice and must not reach the
    // camera; a widened range must not take the handle from under the
    // user's finger either.
    if (allowed) {
        if (slider->minimum() != kShiftMinimum) {
            const QSignalBlocker quiet(slider);
            slider->setMinimum(kShiftMinimum);
            slider->setSliderPosition(position);
        }
        sendByte(selector, static_cast<unsigned char>(position & 0xFF));
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
    if (!readByte(cameraProperty, kImageStyle, &style) ||
        (style != kStyleMeeting && style != kStyleLive)) {
        return;
    }
    // Showing the camera's style sends nothing back to it; the chosen box
    // cannot be clicked off, as after a click.
    const bool live = style == kStyleLive;
    const QSignalBlocker quietMeeting(ui->checkBox_Meeting);
    const QSignalBlocker quietLive(ui->checkBox_Live);
    ui->checkBox_Meeting->setChecked(!live);
    ui->checkBox_Live->setChecked(live);
    ui->checkBox_Meeting->setEnabled(live);
    ui->checkBox_Live->setEnabled(!live);
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
    CameraSettings::restoreFactorySettings(cameraProperty);
    // The camera starts afresh: what it kept for this camera goes too.
    CameraProfileStore::clear(CameraProfileStore::keyOf(selectedCamera));
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

    ui->horizontalSlider->setRange(kExposureMinimum, kExposureMaximum);
    int contrastMin = 0;
    int contrastMax = 0;
    contrastRange(cameraProperty, &contrastMin, &contrastMax);
    ui->horizontalSlider_DRC->setRange(contrastMin, contrastMax);
    ui->horizontalSlider_RG->setRange(kShiftMinimum, kShiftMaximum);
    ui->horizontalSlider_BG->setRange(kShiftMinimum, kShiftMaximum);

    readFlips();
    readExposure();
    readContrast();
    readColourShift(kRedShift, ui->horizontalSlider_RG, ui->label_SliderValue_RG);
    readColourShift(kBlueShift, ui->horizontalSlider_BG, ui->label_SliderValue_BG);
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
    emit versionInfo(firmwareVersionText(cameraProperty, selectedCamera));
}

// Reading shows the camera's settings and writes nothing back: opening a
// page must leave the camera as it was.
void Vorn_SettingVideo::readFlips()
{
    const QSignalBlocker quietH(ui->pushButton_FlipH);
    const QSignalBlocker quietV(ui->pushButton_FlipV);
    bool flipped = false;
    if (readSwitch(cameraProperty, kHorizontalFlip, &flipped)) {
        ui->pushButton_FlipH->setChecked(flipped);
    }
    if (readSwitch(cameraProperty, kVerticalFlip, &flipped)) {
        ui->pushButton_FlipV->setChecked(flipped);
    }
}

void Vorn_SettingVideo::readExposure()
{
    ui->horizontalSlider->setValue(0);
    bool automatic = false;
    int value = 0;
    if (readAutoExposure(cameraProperty, &automatic) && automatic) {
        showExposure(0);
    } else if (readSignedByte(cameraProperty, kExposureValue, &value)) {
        ui->horizontalSlider->setValue(value);
        showExposure(value);
    }
}

void Vorn_SettingVideo::readContrast()
{
    int contrast = 0;
    if (!CameraSettings::readContrast(cameraProperty, &contrast)) {
        return;
    }
    ui->horizontalSlider_DRC->setValue(contrast);
    placeValueLabel(ui->horizontalSlider_DRC, ui->label_SliderValue_DRC, contrast);
}

void Vorn_SettingVideo::readColourShift(unsigned long selector, QSlider* slider, QLabel* valueLabel)
{
    int shift = 0;
    if (!readSignedByte(cameraProperty, selector, &shift)) {
        return;
    }
    slider->setValue(shift);
    placeValueLabel(slider, valueLabel, slider->value());
}

// ---------------------------------------------------------------------------
// Auto framing

void Vorn_SettingVideo::setupAutoFraming()
{
    framing = new FramingEngine(this);
    // The same switch look as the flips, and the style boxes' check box.
    ui->pushButton_AutoFraming->setStyleSheet(ui->pushButton_FlipH->styleSheet());
    ui->checkBox_FramingOverlay->setStyleSheet(ui->checkBox_Live->styleSheet());
    connect(ui->pushButton_AutoFraming, &QPushButton::toggled, this,
            &Vorn_SettingVideo::pushButton_AutoFraming_checked);
    connect(framing, &FramingEngine::acted, this,
            [](const QString& what) { qDebug().noquote() << "auto framing:" << what; });
    // Every manual move (pad, keys, presets) goes through the mover.
    connect(mover, &CameraMover::manualMoveStarted, this, &Vorn_SettingVideo::pauseAutoFraming);
}

void Vorn_SettingVideo::bindAutoFraming()
{
    QString why;
    if (!FramingEngine::available()) {
        why = QStringLiteral("This build has no face detector.");
    } else if (captureOn) {
        framing->bind(cameraProperty.cameraControl, &why);
    } else {
        why = QStringLiteral("No camera is open.");
    }
    const bool usable = why.isEmpty();
    if (!usable) {
        ui->pushButton_AutoFraming->setChecked(false);
    }
    ui->pushButton_AutoFraming->setEnabled(usable);
    ui->pushButton_AutoFraming->setToolTip(
        usable ? QStringLiteral("Keep the people in the picture with the camera's pan, tilt "
                                "and zoom")
               : why);
}

bool Vorn_SettingVideo::framingOverlayShown() const
{
    return framing->isRunning() && ui->checkBox_FramingOverlay->isChecked();
}

void Vorn_SettingVideo::pushButton_AutoFraming_checked(bool status)
{
    if (!status) {
        framing->stop();
        return;
    }
    QString problem;
    if (!framing->start(&problem)) {
        const QSignalBlocker quiet(ui->pushButton_AutoFraming);
        ui->pushButton_AutoFraming->setChecked(false);
        ui->pushButton_AutoFraming->setToolTip(problem);
        DialogSeam::information(nullptr, QStringLiteral("Notice"), problem);
        return;
    }
    framing->resume();
}

void Vorn_SettingVideo::pauseAutoFraming()
{
    framing->pauseForManualMove();
}
