#include "systemvolume.h"
#include "ui_vorn_cam.h"
#include "vorn_cam.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <cmath>

namespace {

const char kSliderStyle[] =
    "    QSlider::vertical{background-color: rgba(0,0,0,0);}"
    "    QSlider::groove:vertical     {        width: 20px;"
    "        image: url(:/UI/Slider/slider_vertical.png);"
    "        background-color: rgba(0,0,0,0);    }"
    "    QSlider::handle:vertical      {        image: url(:/UI/Slider/thumb.png);    }";

const char kLabelStyle[] = "QLabel{color: rgb(9, 106, 178); font-size: 10px; border: none;"
                           " background-color: rgba(0,0,0,0);}";

const char kVolumeStyle[] = "QPushButton{border-image: url(:/UI/Button/volume.png);}"
                            "QPushButton:hover{border-image: url(:/UI/Button/volume-p.png);}"
                            "QPushButton:pressed{border-image: url(:/UI/Button/volume_white.png);}";
const char kVolumeMuteStyle[] = "border-image: url(:/UI/Button/mute.png);";

const char kMicStyle[] =
    "QPushButton{border-image: url(:/UI/Button/microphone.png);}"
    "QPushButton:hover{border-image: url(:/UI/Button/microphone-p.png);}"
    "QPushButton:pressed{border-image: url(:/UI/Button/microphone_white.png);}";
const char kMicMuteStyle[] = "border-image: url(:/UI/Button/mic_mute.png);";

constexpr int kLabelX = 30;
constexpr int kHandleReleaseHideMs = 2000;
constexpr int kButtonReleaseHideMs = 3000;

// The pieces of one pop-up, so that both sides share one implementation.
struct Popup
{
    QSlider* slider;
    QLabel* label;
    QTimer* timer;
    QPushButton* button;
    const char* normalStyle;
    const char* muteStyle;
};

bool isZero(float value)
{
    return std::fabs(value) <= 0.00001f;
}

// The label rides beside the handle: the groove is 80 px of travel above
// its rest at y 83.
void placeLabel(QLabel* label, float value)
{
    label->move(kLabelX, int(83 - 0.8 * double(value)));
}

void styleButton(const Popup& popup, float value)
{
    popup.button->setStyleSheet(
        QString::fromLatin1(isZero(value) ? popup.muteStyle : popup.normalStyle));
}

// With no endpoint to read, a slider at 0 under a mute icon would claim a
// silenced computer: the slider is disabled and says why instead.
void showVolume(const Popup& popup, float value, const QString& unreadable)
{
    popup.slider->setEnabled(unreadable.isEmpty());
    popup.slider->setToolTip(unreadable);
    popup.button->setToolTip(unreadable);
    if (!unreadable.isEmpty()) {
        popup.slider->setValue(0);
        popup.button->setStyleSheet(QString::fromLatin1(popup.normalStyle));
        popup.label->clear();
        return;
    }
    popup.slider->setValue(isZero(value) ? 0 : int(value));
    styleButton(popup, value);
    placeLabel(popup.label, value);
    popup.label->setText(QStringLiteral("%10").arg(popup.slider->value()));
}

void showPosition(const Popup& popup, int position)
{
    placeLabel(popup.label, float(position));
    popup.label->setText(QStringLiteral("%10").arg(position));
    if (popup.timer->isActive()) {
        popup.timer->stop();
    }
    popup.slider->show();
}

QSlider* createSlider(QWidget* window, const QRect& geometry)
{
    auto* slider = new QSlider(Qt::Vertical, window);
    slider->setGeometry(geometry);
    slider->setStyleSheet(QString::fromLatin1(kSliderStyle));
    slider->hide();
    slider->setRange(0, 100);
    return slider;
}

QLabel* createLabel(QSlider* slider, int width)
{
    auto* label = new QLabel(slider);
    label->setGeometry(kLabelX, 83, width, 22);
    label->setStyleSheet(QString::fromLatin1(kLabelStyle));
    return label;
}

} // namespace

void Vorn_Cam::setupVolumeControls()
{
    volumeSlider = createSlider(this, QRect(825, 525, 45, 100));
    volumeLabel = createLabel(volumeSlider, 30);
    refreshVolumePopup();
    volumeHideTimer = new QTimer(this);
    volumeSlider->setPageStep(0);

    micSlider = createSlider(this, QRect(898, 525, 45, 100));
    micLabel = createLabel(micSlider, 16);
    refreshMicPopup();
    micHideTimer = new QTimer(this);
    micSlider->setPageStep(0);

    struct Side
    {
        QSlider* slider;
        QTimer* timer;
        QPushButton* button;
        void (Vorn_Cam::*moved)(int);
        void (Vorn_Cam::*refresh)();
    };
    const Side sides[] = {
        {volumeSlider, volumeHideTimer, ui->bt_volume,
         &Vorn_Cam::horizontalSlider_Volume_sliderMoved, &Vorn_Cam::refreshVolumePopup},
        {micSlider, micHideTimer, ui->bt_microphone,
         &Vorn_Cam::horizontalSlider_MicVolume_sliderMoved, &Vorn_Cam::refreshMicPopup},
    };
    for (const Side& side : sides) {
        connect(side.slider, &QSlider::sliderMoved, this, side.moved);
        connect(side.button, &QPushButton::toggled, this, [this, side](bool checked) {
            (this->*side.refresh)();
            if (checked) {
                side.slider->show();
                return;
            }
            if (side.timer->isActive()) {
                side.timer->stop();
            }
            side.slider->hide();
        });
        connect(side.timer, &QTimer::timeout, this, [side]() {
            side.slider->hide();
            side.button->setChecked(false);
            // Closed with the button, the pop-up is already unchecked and
            // hidden, and the timer the button's release started would
            // otherwise fire on for ever.
            side.timer->stop();
        });
        connect(side.slider, &QSlider::sliderReleased, this,
                [this, side]() { restartHideTimer(side.timer, kHandleReleaseHideMs); });
        connect(side.button, &QPushButton::released, this,
                [this, side]() { restartHideTimer(side.timer, kButtonReleaseHideMs); });
    }
}

void Vorn_Cam::refreshVolumePopup()
{
    float value = 0.0f;
    QString unreadable;
    SystemVolume().getSpeakerVolume(value, &unreadable);
    showVolume(
        {volumeSlider, volumeLabel, volumeHideTimer, ui->bt_volume, kVolumeStyle, kVolumeMuteStyle},
        value, unreadable);
}

void Vorn_Cam::refreshMicPopup()
{
    float value = 0.0f;
    QString unreadable;
    SystemVolume().getMicVolume(value, &unreadable);
    showVolume({micSlider, micLabel, micHideTimer, ui->bt_microphone, kMicStyle, kMicMuteStyle},
               value, unreadable);
}

void Vorn_Cam::restartHideTimer(QTimer* timer, int interval)
{
    if (timer->isActive()) {
        timer->stop();
    }
    timer->start(interval);
}

void Vorn_Cam::horizontalSlider_Volume_sliderMoved(int position)
{
    const Popup popup{volumeSlider,  volumeLabel,  volumeHideTimer,
                      ui->bt_volume, kVolumeStyle, kVolumeMuteStyle};
    showPosition(popup, position);
    SystemVolume().setSpeakerVolume(float(position));
    styleButton(popup, float(position));
}

void Vorn_Cam::horizontalSlider_MicVolume_sliderMoved(int position)
{
    const Popup popup{micSlider,         micLabel,  micHideTimer,
                      ui->bt_microphone, kMicStyle, kMicMuteStyle};
    showPosition(popup, position);
    SystemVolume().setMicVolume(float(position));
    styleButton(popup, float(position));
}
