#include "vorn_settingai.h"

#include "frameconversion.h"
#include "tonefilters.h"
#include "ui_vorn_settingai.h"

#include <opencv2/imgproc.hpp>

#include <limits>

namespace {

const cv::Size blurKernel(59, 59);
const int smoothDiameter = 5;

// Text that is not a number gives 0. Numbers beyond int are held at its
// limits so that the slider still clamps them to its range.
int typedValue(const QString& text)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 10);
    if (!ok) {
        return 0;
    }
    return int(
        qBound<qlonglong>(std::numeric_limits<int>::min(), value, std::numeric_limits<int>::max()));
}

// Blur and smoothing treat the three channels alike (the bilateral colour
// distance is a sum over channels), so running them on R, G, B gives the
// same bytes as on the B, G, R matrix of QImageToMat, without the two swaps.
bool runsOnPictureMemory(const QImage& image)
{
    return image.format() == QImage::Format_RGB888 && !image.isNull();
}

// The filter's own output buffer, kept from frame to frame. It is written
// only while nobody else holds it (the caller normally drops last frame's
// result before the next one), otherwise it is replaced by a fresh picture.
QImage& reusableBuffer(QImage& buffer, const QSize& size)
{
    if (buffer.size() != size || !buffer.isDetached()) {
        buffer = QImage(size, QImage::Format_RGB888);
    }
    return buffer;
}

} // namespace

Vorn_settingAI::Vorn_settingAI(QWidget* parent) : QWidget(parent), ui(new Ui::Vorn_settingAI)
{
    ui->setupUi(this);
    ui->slider_0->setValue(0);
    ui->slider_1->setValue(0);
    ui->slider_2->setValue(0);
    ui->slider_3->setValue(0);

    connect(ui->slider_0, &QSlider::valueChanged, this, &Vorn_settingAI::slider_0_value_change);
    connect(ui->slider_1, &QSlider::valueChanged, this, &Vorn_settingAI::slider_1_value_change);
    connect(ui->slider_2, &QSlider::valueChanged, this, &Vorn_settingAI::slider_2_value_change);
    connect(ui->slider_3, &QSlider::valueChanged, this, &Vorn_settingAI::slider_3_value_change);
    connectTypedValue(ui->Edit_0, ui->slider_0);
    connectTypedValue(ui->Edit_1, ui->slider_1);
    connectTypedValue(ui->Edit_2, ui->slider_2);
    connectTypedValue(ui->Edit_3, ui->slider_3);

    effectEnabled.insert(EffectKind::Warm, false);
    effectEnabled.insert(EffectKind::Cool, false);
    effectEnabled.insert(EffectKind::Vague, false);
    effectEnabled.insert(EffectKind::SkinSmooth, false);
}

Vorn_settingAI::~Vorn_settingAI()
{
    delete ui;
}

void Vorn_settingAI::connectTypedValue(QLineEdit* edit, QSlider* slider)
{
    // The slider clamps the value to its range; if that changes its value,
    // the row's slot writes the clamped number back into the line edit.
    connect(edit, &QLineEdit::returnPressed, slider,
            [edit, slider]() { slider->setValue(typedValue(edit->text())); });
}

void Vorn_settingAI::setEffect(EffectKind kind, int& strength, QLineEdit* edit, int value)
{
    edit->setText(QString::number(value));
    effectEnabled[kind] = value != 0;
    strength = value != 0 ? value : -1;
}

void Vorn_settingAI::slider_0_value_change(int value)
{
    setEffect(EffectKind::Warm, warmAmount, ui->Edit_0, value);
}

void Vorn_settingAI::slider_1_value_change(int value)
{
    setEffect(EffectKind::Cool, coolAmount, ui->Edit_1, value);
}

void Vorn_settingAI::slider_2_value_change(int value)
{
    setEffect(EffectKind::Vague, vagueSigma, ui->Edit_2, value);
}

void Vorn_settingAI::slider_3_value_change(int value)
{
    setEffect(EffectKind::SkinSmooth, smoothSigma, ui->Edit_3, value);
}

bool Vorn_settingAI::anyEffectOn() const
{
    for (const bool on : effectEnabled) {
        if (on) {
            return true;
        }
    }
    return false;
}

QImage Vorn_settingAI::applyEffects(QImage& image)
{
    // The steps run in the order of EffectKind, whatever order the user
    // switched them on in; effects that are off cost nothing.
    if (isOn(EffectKind::Warm) || isOn(EffectKind::Cool)) {
        applyTones(image);
    }
    if (isOn(EffectKind::Vague)) {
        applyBlur(image);
    }
    if (isOn(EffectKind::SkinSmooth)) {
        applySmoothing(image);
    }
    return image;
}

void Vorn_settingAI::applyTones(QImage& image)
{
    const int warm = isOn(EffectKind::Warm) ? warmAmount : 0;
    const int cool = isOn(EffectKind::Cool) ? coolAmount : 0;
    if (runsOnPictureMemory(image)) {
        // Warm and cool touch different channels: one pass does both. It
        // writes into the page's own buffer, never into the picture: that
        // may lie over memory the caller lent (a capture buffer that other
        // receivers read after us), and a shared picture would first be
        // copied only to be overwritten.
        QImage& target = reusableBuffer(toneBuffer, image.size());
        if (shiftChannels(image, target, warm, cool)) {
            image = target;
        }
        return;
    }
    if (isOn(EffectKind::Warm)) {
        image = warmTone(warm, image);
    }
    if (isOn(EffectKind::Cool)) {
        image = coolTone(cool, image);
    }
}

void Vorn_settingAI::applyBlur(QImage& image)
{
    if (runsOnPictureMemory(image)) {
        QImage& target = reusableBuffer(blurBuffer, image.size());
        cv::Mat targetMat = matHeader(target, 3);
        cv::GaussianBlur(matHeader(qAsConst(image), 3), targetMat, blurKernel, double(vagueSigma),
                         0);
        image = target;
        return;
    }
    const cv::Mat source = QImageToMat(image);
    if (source.empty()) {
        return;
    }
    cv::Mat blurred;
    cv::GaussianBlur(source, blurred, blurKernel, double(vagueSigma), 0);
    image = MatToQImage(blurred);
}

void Vorn_settingAI::applySmoothing(QImage& image)
{
    if (runsOnPictureMemory(image)) {
        QImage& target = reusableBuffer(smoothBuffer, image.size());
        cv::Mat targetMat = matHeader(target, 3);
        cv::bilateralFilter(matHeader(qAsConst(image), 3), targetMat, smoothDiameter,
                            double(smoothSigma), double(smoothSigma));
        image = target;
        return;
    }
    // The bilateral filter takes one or three channels only; a 32-bit
    // picture is shown unsmoothed rather than aborting the frame.
    const cv::Mat source = QImageToMat(image);
    if (source.empty() || (source.channels() != 1 && source.channels() != 3)) {
        return;
    }
    cv::Mat smoothed;
    cv::bilateralFilter(source, smoothed, smoothDiameter, double(smoothSigma), double(smoothSigma));
    image = MatToQImage(smoothed);
}
