#include "slidervaluelabel.h"

#include <QLabel>
#include <QSlider>
#include <QTimer>

#include <cstdlib>

namespace {

constexpr int kHideValueLabelMs = 1000;
constexpr int kValueLabelY = 5;
constexpr int kTrackStart = 10;

} // namespace

// The usable track of the 210-pixel sliders starts 10 pixels in and is
// 10 pixels shorter than the slider.
int SliderValueLabel::trackLength() const
{
    return m_slider->geometry().width() - 10;
}

void SliderValueLabel::place(int value) const
{
    place(value, QStringLiteral("%1").arg(value));
}

void SliderValueLabel::place(int value, const QString& text) const
{
    const int minimum = m_slider->minimum();
    const int span = std::abs(m_slider->maximum() - minimum);
    int x = kTrackStart;
    if (span != 0) {
        const double scale = double(trackLength()) / span;
        x = int(std::abs(value - minimum) * scale + kTrackStart);
    }
    m_label->move(x, kValueLabelY);
    m_label->show();
    m_label->setText(text);
}

void SliderValueLabel::centre() const
{
    m_label->move(int(0.5 * trackLength() + kTrackStart), kValueLabelY);
}

void SliderValueLabel::reset() const
{
    m_slider->setValue(m_slider->minimum());
    m_label->move(kTrackStart, kValueLabelY);
    m_label->setText(QStringLiteral("%1").arg(m_slider->minimum()));
    m_label->show();
}

void SliderValueLabel::hideAfterRelease(QObject* context) const
{
    if (m_slider->value() != m_slider->minimum()) {
        QLabel* label = m_label;
        QTimer::singleShot(kHideValueLabelMs, context, [label] { label->hide(); });
    }
}
