#include "vorn_settingvideo.h"

#include "cameramover.h"
#include "cameraprofilestore.h"
#include "camerasettings.h"
#include "controlchannel.h"
#include "dialogseam.h"
#include "framingswitch.h"
#include "propertynotice.h"
#include "propertytransport.h"
#include "slidervaluelabel.h"
#include "ui_vorn_settingvideo.h"
#include "videosettingsreading.h"
#include "vorn_cameraproperty.h"

#include <QDebug>
#include <QEvent>
#include <QFile>
#include <QSettings>
#include <QSignalBlocker>

namespace {

const QString kActiveLook = QStringLiteral("color: rgb(255, 255, 255);\n"
                                           "font: 16px \"Brandon Text Medium\";\n"
                                           "border: none;\n"
                                           "background: transparent;");
const QString kInactiveLook = QStringLiteral("color: grey;\n"
                                             "font: 16px \"Brandon Text Medium\";\n"
                                             "border: none;\n"
                                             "background: transparent;");

using namespace CameraSettings;

} // namespace

Vorn_SettingVideo::Vorn_SettingVideo(QWidget* parent)
    : QWidget(parent), ui(new Ui::Vorn_SettingVideo)
{
    ui->setupUi(this);
    // The property layer shows no widget itself: its notices (a vendor
    // dialog that cannot be shown) are this window's message boxes.
    PropertyNotice::setHandler(&DialogSeam::notice);
    for (QLabel* link : {ui->label_UVCSettings, ui->label_restore_to_factory_settings}) {
        link->installEventFilter(this);
        link->setMouseTracking(true);
    }
    // The same switch look as the flips, and the style boxes' check box.
    ui->pushButton_AutoFraming->setStyleSheet(ui->pushButton_FlipH->styleSheet());
    ui->checkBox_FramingOverlay->setStyleSheet(ui->checkBox_Live->styleSheet());
    framing = new FramingSwitch(ui->pushButton_AutoFraming, ui->checkBox_FramingOverlay, this);
    // Every manual move (pad, keys, presets) goes through the mover, on the
    // worker's thread.
    connect(cameraMover(), &CameraMover::manualMoveStarted, this,
            &Vorn_SettingVideo::pauseAutoFraming, Qt::QueuedConnection);
    captureState(false);
}

Vorn_SettingVideo::~Vorn_SettingVideo()
{
    // A pad button held as the page goes stops its motion now, while the
    // page is whole; the button's own release comes once it is half gone.
    for (QPushButton* button : ui->ConsoleBox->findChildren<QPushButton*>()) {
        if (button->isDown()) {
            emit button->released();
        }
        button->disconnect(this);
    }
    delete ui;
}

FramingEngine* Vorn_SettingVideo::framingEngine() const
{
    return framing->engine();
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
        const SliderValueLabel slider(entry.slider, entry.valueLabel);
        connect(entry.slider, &QSlider::sliderReleased, this, [this, slider] {
            ++drags;
            slider.hideAfterRelease(this);
        });
    }
}

void Vorn_SettingVideo::setCameraInfo(const VideoInputInfo& camera)
{
    selectedCamera = camera;
}

void Vorn_SettingVideo::openDevice()
{
    const QString deviceName = selectedCamera.deviceName();
    controls().post([deviceName](ControlWorker& worker) {
        worker.zoom().open(deviceName);
        worker.main().open(deviceName);
    });
    readCameraSettings();
    // Once the reading is shown: auto framing's own requests come after it.
    const bool open = captureOn;
    controls().ask(
        this, [](ControlWorker&) { return true; },
        [this, deviceName, open](bool) { framing->bind(deviceName, open); });
}

// ---------------------------------------------------------------------------
// Capture state

void Vorn_SettingVideo::setSliderInactive(const SliderValueLabel& slider, QLabel* title,
                                          QWidget* box)
{
    title->setStyleSheet(kInactiveLook);
    box->setEnabled(false);
    slider.reset();
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
    framing->unbind();
    ui->label_AutoFraming->setStyleSheet(kInactiveLook);
    setSliderInactive({ui->horizontalSlider, ui->label_SliderValue}, ui->label_Exposure,
                      ui->ExposureBox);
    setSliderInactive({ui->horizontalSlider_DRC, ui->label_SliderValue_DRC}, ui->label_DRC,
                      ui->DRC_CTLBox);
    setSliderInactive({ui->horizontalSlider_RG, ui->label_SliderValue_RG}, ui->label_RG,
                      ui->RG_CTLBox);
    setSliderInactive({ui->horizontalSlider_BG, ui->label_SliderValue_BG}, ui->label_BG,
                      ui->BG_CTLBox);
    ui->label_FlipH->setStyleSheet(kInactiveLook);
    ui->label_FlipV->setStyleSheet(kInactiveLook);
    ui->pushButton_FlipH->setEnabled(false);
    ui->pushButton_FlipV->setEnabled(false);
    ui->label_UVCSettings->setStyleSheet(kInactiveLook);
    ui->label_restore_to_factory_settings->setStyleSheet(kInactiveLook);
}

// ---------------------------------------------------------------------------
// Pan, tilt, zoom and home

void Vorn_SettingVideo::startRelativeMotion(long property, int direction)
{
    if (!captureOn) {
        return;
    }
    controls().post([property, direction](ControlWorker& worker) {
        if (worker.mover().startRelative(property, direction)) {
            worker.setMoving(property, true);
        }
    });
}

// A motion started by a press is stopped by its release even when the
// capture went off while the button was held; the camera would go on
// moving otherwise.
void Vorn_SettingVideo::stopRelativeMotion(long property)
{
    const bool on = captureOn;
    controls().post([property, on](ControlWorker& worker) {
        if (on || worker.moving(property)) {
            worker.mover().stopRelative(property);
        }
        worker.setMoving(property, false);
    });
}

void Vorn_SettingVideo::pushButton_home_pressed()
{
    if (captureOn) {
        controls().post([](ControlWorker& worker) { worker.mover().home(); });
    }
}

void Vorn_SettingVideo::pushButton_left_pressed()
{
    startRelativeMotion(CameraControlProperty::PanRelative, -1);
}

void Vorn_SettingVideo::pushButton_left_released()
{
    stopRelativeMotion(CameraControlProperty::PanRelative);
}

void Vorn_SettingVideo::pushButton_right_pressed()
{
    startRelativeMotion(CameraControlProperty::PanRelative, 1);
}

void Vorn_SettingVideo::pushButton_right_released()
{
    stopRelativeMotion(CameraControlProperty::PanRelative);
}

void Vorn_SettingVideo::pushButton_up_pressed()
{
    startRelativeMotion(CameraControlProperty::TiltRelative, 1);
}

void Vorn_SettingVideo::pushButton_up_released()
{
    stopRelativeMotion(CameraControlProperty::TiltRelative);
}

void Vorn_SettingVideo::pushButton_down_pressed()
{
    startRelativeMotion(CameraControlProperty::TiltRelative, -1);
}

void Vorn_SettingVideo::pushButton_down_released()
{
    stopRelativeMotion(CameraControlProperty::TiltRelative);
}

void Vorn_SettingVideo::sendZoom(unsigned char direction)
{
    controls().post([direction](ControlWorker& worker) {
        if (direction == 0) {
            worker.mover().stopZoom();
        } else {
            worker.mover().startZoom(direction == kZoomIn ? 1 : -1);
        }
    });
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

void Vorn_SettingVideo::sendByte(unsigned long selector, unsigned char value)
{
    controls().post(
        [selector, value](ControlWorker& worker) { writeByte(worker.main(), selector, value); });
}

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

// While a handle is dragged only its latest place matters: positions of the
// drag the worker has not got to yet are replaced by the newest.
void Vorn_SettingVideo::horizontalSlider_sliderMoved(int position)
{
    if (!captureOn) {
        return;
    }
    showExposure(position);
    controls().postLatest(
        QStringLiteral("exposure %1").arg(drags),
        [position](ControlWorker& worker) { writeExposure(worker.main(), position); });
}

// The exposure slider's 0 is the camera's automatic exposure.
void Vorn_SettingVideo::showExposure(int position)
{
    SliderValueLabel(ui->horizontalSlider, ui->label_SliderValue)
        .place(position, position == 0 ? tr("Auto") : QString::number(position));
}

void Vorn_SettingVideo::horizontalSlider_DRC_sliderMoved(int position)
{
    if (!captureOn) {
        return;
    }
    SliderValueLabel(ui->horizontalSlider_DRC, ui->label_SliderValue_DRC).place(position);
    controls().postLatest(
        QStringLiteral("contrast %1").arg(drags),
        [position](ControlWorker& worker) { writeContrast(worker.main(), position); });
}

void Vorn_SettingVideo::horizontalSlider_BG_sliderMoved(int position)
{
    colourShiftMoved(kBlueShift, {ui->horizontalSlider_BG, ui->label_SliderValue_BG}, position);
}

void Vorn_SettingVideo::horizontalSlider_RG_sliderMoved(int position)
{
    colourShiftMoved(kRedShift, {ui->horizontalSlider_RG, ui->label_SliderValue_RG}, position);
}

// Negative shifts exist only while white balance is manual: the camera's
// automatic white balance would undo them. The worker reads the mode and
// sends the shift only where it is allowed.
void Vorn_SettingVideo::colourShiftMoved(unsigned long selector, const SliderValueLabel& shift,
                                         int position)
{
    if (!captureOn) {
        return;
    }
    shift.place(position);
    QSlider* slider = shift.slider();
    // Qt reports the handle's jump after a range change as a move of the
    // held handle, which is not the user's choice and must not reach the
    // camera; a widened range must not take the handle from under the
    // user's finger either. A shift of 0 or more is always allowed.
    if (position >= 0 && slider->minimum() != kShiftMinimum) {
        const QSignalBlocker quiet(slider);
        slider->setMinimum(kShiftMinimum);
        slider->setSliderPosition(position);
    }
    const auto send = [selector, position](ControlWorker& worker) {
        const bool allowed = colourShiftAllowed(worker.main(), position);
        if (allowed) {
            writeByte(worker.main(), selector, static_cast<unsigned char>(position & 0xFF));
        }
        return allowed;
    };
    const auto refused = [shift](bool allowed) {
        if (!allowed) {
            const QSignalBlocker quiet(shift.slider());
            shift.slider()->setMinimum(0);
            shift.centre();
        }
    };
    controls().ask(this, send, refused, QStringLiteral("shift %1 %2").arg(selector).arg(drags));
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
    const auto read = [](ControlWorker& worker) {
        unsigned char style = 0;
        return readByte(worker.main(), kImageStyle, &style) ? int(style) : -1;
    };
    controls().ask(this, read, [this](int style) { showStyle(style); });
}

// Showing the camera's style sends nothing back to it; the chosen box
// cannot be clicked off, as after a click.
void Vorn_SettingVideo::showStyle(int style)
{
    if (style != kStyleMeeting && style != kStyleLive) {
        return;
    }
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
        // The vendor's dialog works the camera itself, on this thread: the
        // worker waits meanwhile, its earlier requests done.
        controls().lend(this, [this] {
            if (cameraProperty.showPropertyDialog()) {
                readCameraSettings();
            }
        });
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
    // The camera starts afresh: what it kept for this camera goes too, after
    // any of its values still being kept.
    const QString key = CameraProfileStore::keyOf(selectedCamera);
    controls().post([key](ControlWorker& worker) {
        CameraSettings::restoreFactorySettings(worker.main());
        CameraProfileStore::clear(key);
    });
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
    const VideoInputInfo camera = selectedCamera;
    controls().ask(
        this,
        [camera](ControlWorker& worker) {
            return VideoSettingsReading::read(worker.main(), camera);
        },
        [this](const VideoSettingsReading& reading) { showReading(reading); });
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

// Reading shows the camera's settings and writes nothing back: opening a
// page must leave the camera as it was. A handle the user holds stays
// where the user has it.
void Vorn_SettingVideo::showReading(const VideoSettingsReading& reading)
{
    if (!captureOn) {
        return;
    }
    emit versionInfo(reading.version);
    emit checkUpStatus(true);
    ui->horizontalSlider->setRange(kExposureMinimum, kExposureMaximum);
    ui->horizontalSlider_DRC->setRange(reading.contrastMinimum, reading.contrastMaximum);
    ui->horizontalSlider_RG->setRange(kShiftMinimum, kShiftMaximum);
    ui->horizontalSlider_BG->setRange(kShiftMinimum, kShiftMaximum);
    const QSignalBlocker quietH(ui->pushButton_FlipH);
    const QSignalBlocker quietV(ui->pushButton_FlipV);
    if (reading.horizontalFlip.known) {
        ui->pushButton_FlipH->setChecked(reading.horizontalFlip.value == 1);
    }
    if (reading.verticalFlip.known) {
        ui->pushButton_FlipV->setChecked(reading.verticalFlip.value == 1);
    }
    if (!ui->horizontalSlider->isSliderDown()) {
        ui->horizontalSlider->setValue(0);
        if (reading.exposure.known) {
            ui->horizontalSlider->setValue(reading.exposure.value);
            showExposure(reading.exposure.value);
        }
    }
    if (reading.contrast.known && !ui->horizontalSlider_DRC->isSliderDown()) {
        ui->horizontalSlider_DRC->setValue(reading.contrast.value);
        SliderValueLabel(ui->horizontalSlider_DRC, ui->label_SliderValue_DRC)
            .place(reading.contrast.value);
    }
    if (reading.redShift.known) {
        showValue({ui->horizontalSlider_RG, ui->label_SliderValue_RG}, reading.redShift.value);
    }
    if (reading.blueShift.known) {
        showValue({ui->horizontalSlider_BG, ui->label_SliderValue_BG}, reading.blueShift.value);
    }
}

void Vorn_SettingVideo::showValue(const SliderValueLabel& slider, int value)
{
    if (slider.slider()->isSliderDown()) {
        return;
    }
    slider.slider()->setValue(value);
    slider.place(slider.slider()->value());
}

// ---------------------------------------------------------------------------
// Auto framing

bool Vorn_SettingVideo::framingOverlayShown() const
{
    return framing->overlayShown();
}

void Vorn_SettingVideo::pauseAutoFraming()
{
    framing->pauseForManualMove();
}
