#include "vorn_settingvideo.h"

#include "cameramover.h"
#include "cameraprofilestore.h"
#include "camerasettings.h"
#include "controlcatalogue.h"
#include "controlchannel.h"
#include "controlrequest.h"
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

const ControlDescriptor& control(const char* name)
{
    return ControlCatalogue::get(name);
}

} // namespace

Vorn_SettingVideo::Vorn_SettingVideo(ControlChannel& controls, QWidget* parent)
    : QWidget(parent), m_controls(controls), ui(new Ui::Vorn_SettingVideo)
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
    framing = new FramingSwitch(m_controls, ui->pushButton_AutoFraming, ui->checkBox_FramingOverlay,
                                this);
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
    controls().open(selectedCamera);
    readCameraSettings();
    // Once the reading is shown: auto framing's own requests come after it.
    const bool open = captureOn;
    controls().ask(
        this, [](ControlWorker&) { return true; },
        [this, deviceName, open](bool) { framing->bind(deviceName, open); });
}

// ---------------------------------------------------------------------------
// Capture state

void Vorn_SettingVideo::setSliderInactive(const ControlDescriptor& setting, QLabel* title,
                                          QWidget* box)
{
    title->setStyleSheet(kInactiveLook);
    box->setEnabled(false);
    sliderOf(setting).reset();
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
    setSliderInactive(control("exposure"), ui->label_Exposure, ui->ExposureBox);
    setSliderInactive(control("contrast"), ui->label_DRC, ui->DRC_CTLBox);
    setSliderInactive(control("red-shift"), ui->label_RG, ui->RG_CTLBox);
    setSliderInactive(control("blue-shift"), ui->label_BG, ui->BG_CTLBox);
    ui->label_FlipH->setStyleSheet(kInactiveLook);
    ui->label_FlipV->setStyleSheet(kInactiveLook);
    ui->pushButton_FlipH->setEnabled(false);
    ui->pushButton_FlipV->setEnabled(false);
    ui->label_UVCSettings->setStyleSheet(kInactiveLook);
    ui->label_restore_to_factory_settings->setStyleSheet(kInactiveLook);
}

// ---------------------------------------------------------------------------
// Pan, tilt, zoom and home

void Vorn_SettingVideo::startMotion(const ControlDescriptor& motion)
{
    if (!captureOn) {
        return;
    }
    const long property = motion.standardId;
    const int direction = motion.direction;
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
    startMotion(control("pan-left"));
}

void Vorn_SettingVideo::pushButton_left_released()
{
    stopRelativeMotion(control("pan-left").standardId);
}

void Vorn_SettingVideo::pushButton_right_pressed()
{
    startMotion(control("pan-right"));
}

void Vorn_SettingVideo::pushButton_right_released()
{
    stopRelativeMotion(control("pan-right").standardId);
}

void Vorn_SettingVideo::pushButton_up_pressed()
{
    startMotion(control("tilt-up"));
}

void Vorn_SettingVideo::pushButton_up_released()
{
    stopRelativeMotion(control("tilt-up").standardId);
}

void Vorn_SettingVideo::pushButton_down_pressed()
{
    startMotion(control("tilt-down"));
}

void Vorn_SettingVideo::pushButton_down_released()
{
    stopRelativeMotion(control("tilt-down").standardId);
}

void Vorn_SettingVideo::sendZoom(int direction)
{
    controls().post([direction](ControlWorker& worker) {
        if (direction == 0) {
            worker.mover().stopZoom();
        } else {
            worker.mover().startZoom(direction);
        }
    });
}

void Vorn_SettingVideo::pushButton_zoomin_pressed()
{
    if (captureOn) {
        sendZoom(control("zoom-in").direction);
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
        sendZoom(control("zoom-out").direction);
        zoomMoving = true;
    }
}

void Vorn_SettingVideo::pushButton_zoomout_released()
{
    pushButton_zoomin_released();
}

// ---------------------------------------------------------------------------
// Flips, sliders and style

void Vorn_SettingVideo::send(const ControlDescriptor& control, int value)
{
    const ControlDescriptor* sent = &control;
    controls().post([sent, value](ControlWorker& worker) {
        ControlRequest::write(worker.main(), *sent, value);
    });
}

SliderValueLabel Vorn_SettingVideo::sliderOf(const ControlDescriptor& control) const
{
    return {findChild<QSlider*>(control.widgets.value(0)),
            findChild<QLabel*>(control.widgets.value(1))};
}

void Vorn_SettingVideo::pushButton_FlipV_checked(bool status)
{
    if (captureOn) {
        send(control("flip-vertical"), status ? 1 : 0);
    }
}

void Vorn_SettingVideo::pushButton_FlipH_checked(bool status)
{
    if (captureOn) {
        send(control("flip-horizontal"), status ? 1 : 0);
    }
}

void Vorn_SettingVideo::horizontalSlider_sliderMoved(int position)
{
    settingMoved(control("exposure"), position);
}

void Vorn_SettingVideo::horizontalSlider_DRC_sliderMoved(int position)
{
    settingMoved(control("contrast"), position);
}

// While a handle is dragged only its latest place matters: positions of the
// drag the worker has not got to yet are replaced by the newest.
void Vorn_SettingVideo::settingMoved(const ControlDescriptor& setting, int position)
{
    if (!captureOn) {
        return;
    }
    const int value = setting.fromShown(position);
    sliderOf(setting).place(position, setting.shownText(value));
    const ControlDescriptor* sent = &setting;
    controls().postLatest(QStringLiteral("%1 %2").arg(setting.name).arg(drags),
                          [sent, value](ControlWorker& worker) {
                              ControlRequest::write(worker.main(), *sent, value);
                          });
}

void Vorn_SettingVideo::horizontalSlider_BG_sliderMoved(int position)
{
    colourShiftMoved(control("blue-shift"), position);
}

void Vorn_SettingVideo::horizontalSlider_RG_sliderMoved(int position)
{
    colourShiftMoved(control("red-shift"), position);
}

// Negative shifts exist only while white balance is manual: the camera's
// automatic white balance would undo them. The worker reads the mode and
// sends the shift only where it is allowed.
void Vorn_SettingVideo::colourShiftMoved(const ControlDescriptor& colour, int position)
{
    if (!captureOn) {
        return;
    }
    const SliderValueLabel shift = sliderOf(colour);
    const int value = colour.fromShown(position);
    shift.place(position, colour.shownText(value));
    QSlider* slider = shift.slider();
    // Qt reports the handle's jump after a range change as a move of the
    // held handle, which is not the user's choice and must not reach the
    // camera; a widened range must not take the handle from under the
    // user's finger either. A shift of 0 or more is always allowed.
    const int lowest = colour.shown(colour.minimum);
    if (value >= 0 && slider->minimum() != lowest) {
        const QSignalBlocker quiet(slider);
        slider->setMinimum(lowest);
        slider->setSliderPosition(position);
    }
    const ControlDescriptor* sent = &colour;
    const auto write = [sent, value](ControlWorker& worker) {
        const bool allowed = CameraSettings::colourShiftAllowed(worker.main(), value);
        if (allowed) {
            ControlRequest::write(worker.main(), *sent, value);
        }
        return allowed;
    };
    const auto refused = [shift, sent](bool allowed) {
        if (!allowed) {
            const QSignalBlocker quiet(shift.slider());
            shift.slider()->setMinimum(sent->shown(0));
            shift.centre();
        }
    };
    controls().ask(this, write, refused,
                   QStringLiteral("shift %1 %2").arg(colour.selector).arg(drags));
}

void Vorn_SettingVideo::on_checkBox_Meeting_stateChanged(int)
{
    if (!ui->checkBox_Meeting->isChecked()) {
        return;
    }
    const ControlDescriptor& style = control("image-style");
    send(style, style.valueOf(QStringLiteral("meeting")));
    ui->checkBox_Live->setEnabled(true);
    ui->checkBox_Live->setChecked(false);
    ui->checkBox_Meeting->setEnabled(false);
}

void Vorn_SettingVideo::on_checkBox_Live_stateChanged(int)
{
    if (!ui->checkBox_Live->isChecked()) {
        return;
    }
    const ControlDescriptor& style = control("image-style");
    send(style, style.valueOf(QStringLiteral("live")));
    ui->checkBox_Meeting->setEnabled(true);
    ui->checkBox_Meeting->setChecked(false);
    ui->checkBox_Live->setEnabled(false);
}

void Vorn_SettingVideo::Get_style()
{
    const auto read = [](ControlWorker& worker) {
        int style = 0;
        return ControlRequest::read(worker.main(), control("image-style"), &style) ? style : -1;
    };
    controls().ask(this, read, [this](int style) { showStyle(style); });
}

// Showing the camera's style sends nothing back to it; the chosen box
// cannot be clicked off, as after a click.
void Vorn_SettingVideo::showStyle(int style)
{
    const QString choice = control("image-style").choiceOf(style);
    if (choice.isEmpty()) {
        return;
    }
    const bool live = choice == QLatin1String("live");
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
        controls().lend(this, [this](CameraSession& session) {
            if (session.main().showPropertyDialog()) {
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
    for (const ControlDescriptor* setting : VideoSettingsReading::controls()) {
        const VideoSettingsReading::Value value = reading.value(*setting);
        if (setting->kind != ControlDescriptor::Kind::Switch) {
            showSetting(*setting, value);
            continue;
        }
        auto* button = findChild<QPushButton*>(setting->widgets.value(0));
        const QSignalBlocker quiet(button);
        if (value.known) {
            button->setChecked(setting->choiceOf(value.value) == QLatin1String("on"));
        }
    }
}

// The slider and its label show the same number: the slider's position for
// what the camera holds, as far as the slider reaches.
void Vorn_SettingVideo::showSetting(const ControlDescriptor& setting,
                                    const VideoSettingsReading::Value& value)
{
    const SliderValueLabel shown = sliderOf(setting);
    QSlider* slider = shown.slider();
    slider->setRange(setting.shown(value.minimum), setting.shown(value.maximum));
    if (slider->isSliderDown()) {
        return;
    }
    if (setting.automatic) {
        slider->setValue(setting.shown(0));
    }
    if (value.known) {
        slider->setValue(setting.shown(value.value));
        shown.place(slider->value(), setting.shownText(setting.fromShown(slider->value())));
    }
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
