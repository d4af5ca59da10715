#include "volumepopup.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <cmath>
#include <utility>

namespace {

const char kSliderStyle[] =
    "    QSlider::vertical{background-color: rgba(0,0,0,0);}"
    "    QSlider::groove:vertical     {        width: 20px;"
    "        image: url(:/UI/Slider/slider_vertical.png);"
    "        background-color: rgba(0,0,0,0);    }"
    "    QSlider::handle:vertical      {        image: url(:/UI/Slider/thumb.png);    }";

const char kLabelStyle[] = "QLabel{color: rgb(9, 106, 178); font-size: 10px; border: none;"
                           " background-color: rgba(0,0,0,0);}";

constexpr int kLabelX = 30;
constexpr int kHandleReleaseHideMs = 2000;
constexpr int kButtonReleaseHideMs = 3000;

bool isZero(float value)
{
    return std::fabs(value) <= 0.00001f;
}

} // namespace

VolumePopup::VolumePopup(QWidget* window, QPushButton* button, const QRect& geometry,
                         const Looks& looks, Reader read, Writer write)
    : QObject(window), m_button(button), m_looks(looks), m_read(std::move(read)),
      m_write(std::move(write))
{
    m_slider = new QSlider(Qt::Vertical, window);
    m_slider->setGeometry(geometry);
    m_slider->setStyleSheet(QString::fromLatin1(kSliderStyle));
    m_slider->hide();
    m_slider->setRange(0, 100);
    m_slider->setPageStep(0);
    m_label = new QLabel(m_slider);
    m_label->setGeometry(kLabelX, 83, looks.labelWidth, 22);
    m_label->setStyleSheet(QString::fromLatin1(kLabelStyle));
    m_timer = new QTimer(this);
    refresh();

    connect(m_slider, &QSlider::sliderMoved, this, &VolumePopup::sliderMoved);
    connect(m_button, &QPushButton::toggled, this, &VolumePopup::onButtonToggled);
    connect(m_timer, &QTimer::timeout, this, &VolumePopup::onTimeout);
    connect(m_slider, &QSlider::sliderReleased, this,
            [this]() { restartHideTimer(kHandleReleaseHideMs); });
    connect(m_button, &QPushButton::released, this,
            [this]() { restartHideTimer(kButtonReleaseHideMs); });
}

// With no endpoint to read, a slider at 0 under a mute icon would claim a
// silenced computer: the slider is disabled and says why instead.
void VolumePopup::refresh()
{
    float value = 0.0f;
    QString unreadable;
    m_read(value, &unreadable);
    m_slider->setEnabled(unreadable.isEmpty());
    m_slider->setToolTip(unreadable);
    m_button->setToolTip(unreadable);
    if (!unreadable.isEmpty()) {
        m_slider->setValue(0);
        m_button->setStyleSheet(QString::fromLatin1(m_looks.normalStyle));
        m_label->clear();
        return;
    }
    m_slider->setValue(isZero(value) ? 0 : int(value));
    styleButton(value);
    placeLabel(value);
    m_label->setText(QStringLiteral("%10").arg(m_slider->value()));
}

void VolumePopup::moveTo(int position)
{
    placeLabel(float(position));
    m_label->setText(QStringLiteral("%10").arg(position));
    if (m_timer->isActive()) {
        m_timer->stop();
    }
    m_slider->show();
    m_write(float(position));
    styleButton(float(position));
}

void VolumePopup::stop()
{
    m_timer->stop();
}

void VolumePopup::onButtonToggled(bool checked)
{
    refresh();
    if (checked) {
        m_slider->show();
        return;
    }
    if (m_timer->isActive()) {
        m_timer->stop();
    }
    m_slider->hide();
}

void VolumePopup::onTimeout()
{
    m_slider->hide();
    m_button->setChecked(false);
    // Closed with the button, the pop-up is already unchecked and hidden,
    // and the timer the button's release started would otherwise fire on
    // for ever.
    m_timer->stop();
}

void VolumePopup::restartHideTimer(int interval)
{
    if (m_timer->isActive()) {
        m_timer->stop();
    }
    m_timer->start(interval);
}

// The label rides beside the handle: the groove is 80 px of travel above
// its rest at y 83.
void VolumePopup::placeLabel(float value)
{
    m_label->move(kLabelX, int(83 - 0.8 * double(value)));
}

void VolumePopup::styleButton(float value)
{
    m_button->setStyleSheet(
        QString::fromLatin1(isZero(value) ? m_looks.muteStyle : m_looks.normalStyle));
}
