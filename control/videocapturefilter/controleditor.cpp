#include "controleditor.h"

#include "controlcatalogue.h"
#include "uvcstandardcontrols.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <limits>

namespace {

int toInt(qint64 value)
{
    return int(std::clamp<qint64>(value, std::numeric_limits<int>::min(),
                                  std::numeric_limits<int>::max()));
}

QString objectNameFor(quint32 id)
{
    return QStringLiteral("control_%1").arg(id);
}

// The catalogue's control that is this device control, when the program
// drives it as a number of its own (contrast, pan, tilt, zoom).
const ControlDescriptor* knownControl(quint32 id)
{
    using namespace UvcStandardControls;
    using Transport = ControlDescriptor::Transport;
    const ControlDescriptor* known = nullptr;
    if (const Mapping* picture = byId(kVideoProcAmpControls, id)) {
        known = ControlCatalogue::carriedBy(Transport::PictureProperty, picture->property);
    } else if (const Mapping* head = byId(kCameraControls, id)) {
        known = ControlCatalogue::carriedBy(Transport::CameraControl, head->property);
    }
    return known && known->kind == ControlDescriptor::Kind::Number ? known : nullptr;
}

} // namespace

ControlEditor::ControlEditor(const DeviceControl& control, QWidget* parent)
    : QObject(parent), m_control(control), m_name(new QLabel(control.name, parent)),
      m_value(new QLabel(parent)), m_known(knownControl(control.id))
{
    m_editor = createEditor(parent);
    m_editor->setObjectName(objectNameFor(control.id));
    m_editor->setProperty("v4l2Id", control.id);
    m_value->setObjectName(objectNameFor(control.id) + QStringLiteral("_value"));
    // Room for the widest value, so the column does not jump while sliding.
    const QString widest = QString::number(std::max(qAbs(control.minimum), qAbs(control.maximum)));
    m_value->setMinimumWidth(
        m_value->fontMetrics().horizontalAdvance(QStringLiteral("-") + widest) + 4);
}

QWidget* ControlEditor::createEditor(QWidget* parent)
{
    switch (m_control.kind) {
    case DeviceControl::Kind::Integer:
        m_slider = new QSlider(Qt::Horizontal, parent);
        m_slider->setMinimumWidth(220);
        connect(m_slider, &QSlider::valueChanged, this, &ControlEditor::sliderMoved);
        return m_slider;
    case DeviceControl::Kind::Boolean:
        m_checkBox = new QCheckBox(parent);
        connect(m_checkBox, &QCheckBox::toggled, this,
                [this](bool on) { emit edited(m_control.id, on ? 1 : 0); });
        return m_checkBox;
    case DeviceControl::Kind::Menu:
    case DeviceControl::Kind::IntegerMenu:
        m_comboBox = new QComboBox(parent);
        connect(m_comboBox, QOverload<int>::of(&QComboBox::activated), this, [this](int row) {
            emit edited(m_control.id, qint32(m_comboBox->itemData(row).toLongLong()));
        });
        return m_comboBox;
    case DeviceControl::Kind::Button:
        break;
    }
    m_button = new QPushButton(m_control.name, parent);
    connect(m_button, &QPushButton::clicked, this, [this] { emit edited(m_control.id, 1); });
    return m_button;
}

qint32 ControlEditor::snapped(qint64 value) const
{
    // V4L2 integer controls take minimum + k * step only.
    const qint64 step = m_control.step;
    const qint64 k = (value - m_control.minimum + step / 2) / step;
    return qint32(std::clamp(m_control.minimum + k * step, m_control.minimum, m_control.maximum));
}

int ControlEditor::position(qint64 value) const
{
    return m_known ? m_known->shown(toInt(value)) : toInt(value);
}

QString ControlEditor::valueText(qint32 value) const
{
    return m_known ? m_known->shownText(value) : QString::number(value);
}

void ControlEditor::sliderMoved(int position)
{
    emit edited(m_control.id, snapped(m_known ? m_known->fromShown(position) : position));
}

void ControlEditor::showSlider(qint32 value)
{
    m_slider->setRange(position(m_control.minimum), position(m_control.maximum));
    m_slider->setSingleStep(toInt(m_control.step));
    m_slider->setPageStep(
        toInt(std::max<qint64>(m_control.step, (m_control.maximum - m_control.minimum) / 10)));
    m_slider->setValue(position(value));
}

void ControlEditor::showMenu(qint32 value)
{
    m_comboBox->clear();
    for (const MenuEntry& entry : m_control.menu) {
        m_comboBox->addItem(entry.text, entry.index);
    }
    m_comboBox->setCurrentIndex(m_comboBox->findData(qint64(value)));
}

void ControlEditor::show(const DeviceControl& control, bool readable, qint32 value)
{
    m_control = control;
    const qint32 shown = readable ? value : qint32(control.defaultValue);
    {
        const QSignalBlocker blocker(m_editor);
        if (m_slider) {
            showSlider(shown);
        } else if (m_checkBox) {
            m_checkBox->setChecked(shown != 0);
        } else if (m_comboBox) {
            showMenu(shown);
        }
    }
    if (m_slider) {
        m_value->setText(readable ? valueText(value) : QStringLiteral("?"));
    }
    const bool greyed = control.readOnly() || control.inactive();
    m_editor->setEnabled(!greyed);
    m_name->setEnabled(!greyed);
    m_value->setEnabled(!greyed);
    m_editor->setToolTip(
        readable || !control.hasValue() ? QString() : tr("The device did not report this value."));
}

void ControlEditor::setGone()
{
    m_editor->setEnabled(false);
    m_name->setEnabled(false);
    m_value->setEnabled(false);
}
