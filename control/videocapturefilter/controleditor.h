#pragma once

#include "devicecontrol.h"

#include <QObject>

struct ControlDescriptor;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QWidget;

// The widgets of one control: its name, the editor its kind calls for
// (slider with value label, check box, combo box, push button) and the
// value the device reports. Edits are reported, never written here.
class ControlEditor : public QObject
{
    Q_OBJECT

public:
    // The widgets are children of parent; the caller places them.
    ControlEditor(const DeviceControl& control, QWidget* parent);

    QLabel* nameLabel() const { return m_name; }
    QWidget* editor() const { return m_editor; }
    QLabel* valueLabel() const { return m_value; }

    // Shows what the device reports now. readable false: the value could not
    // be read and the default is shown instead.
    void show(const DeviceControl& control, bool readable, qint32 value);
    // The device no longer offers the control.
    void setGone();

signals:
    void edited(quint32 id, qint32 value);

private:
    QWidget* createEditor(QWidget* parent);
    void showSlider(qint32 value);
    void showMenu(qint32 value);
    void sliderMoved(int position);
    qint32 snapped(qint64 value) const;
    int position(qint64 value) const;
    QString valueText(qint32 value) const;

    DeviceControl m_control;
    QLabel* m_name;
    QLabel* m_value;
    QWidget* m_editor;
    QSlider* m_slider = nullptr;
    QCheckBox* m_checkBox = nullptr;
    QComboBox* m_comboBox = nullptr;
    QPushButton* m_button = nullptr;
    // The program's own control behind this one; null for the device's others.
    const ControlDescriptor* m_known;
};
