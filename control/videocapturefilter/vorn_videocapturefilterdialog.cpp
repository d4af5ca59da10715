#include "vorn_videocapturefilterdialog.h"

#include "controleditor.h"

#include <QDebug>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

// The program's dark panels: near-black ground, white text, orange accents.
const char kDialogStyle[] =
    "QDialog, QScrollArea, QWidget#controlPage { background-color: rgb(29, 29, 29); }"
    "QLabel { color: rgb(255, 255, 255); }"
    "QLabel:disabled, QCheckBox:disabled { color: rgb(110, 110, 110); }"
    "QSlider::groove:horizontal { height: 4px; background: rgb(80, 80, 80); }"
    "QSlider::sub-page:horizontal { background: rgb(233, 143, 53); }"
    "QSlider::sub-page:horizontal:disabled { background: rgb(90, 90, 90); }"
    "QSlider::handle:horizontal { width: 12px; margin: -5px 0; border-radius: 6px;"
    " background: rgb(255, 255, 255); }"
    "QSlider::handle:horizontal:disabled { background: rgb(120, 120, 120); }"
    "QComboBox { color: rgb(255, 255, 255); background-color: rgb(45, 45, 45);"
    " border: 1px solid rgb(60, 60, 60); padding: 2px 6px; }"
    "QComboBox:disabled { color: rgb(110, 110, 110); }"
    "QComboBox QAbstractItemView { color: rgb(255, 255, 255); background-color: rgb(45, 45, 45);"
    " selection-background-color: rgb(233, 143, 53); }"
    "QCheckBox { color: rgb(255, 255, 255); }"
    "QCheckBox::indicator { width: 14px; height: 14px; border: 1px solid rgb(150, 150, 150);"
    " background-color: rgb(45, 45, 45); }"
    "QCheckBox::indicator:checked { background-color: rgb(233, 143, 53);"
    " border-color: rgb(233, 143, 53); }"
    "QCheckBox::indicator:disabled { border-color: rgb(80, 80, 80); }"
    "QScrollBar:vertical { width: 8px; background: rgb(29, 29, 29); }"
    "QScrollBar::handle:vertical { background: rgb(80, 80, 80); min-height: 24px; }"
    "QScrollBar::add-line, QScrollBar::sub-line { height: 0px; }"
    "QPushButton { color: rgb(255, 255, 255); background-color: rgb(45, 45, 45);"
    " border: 1px solid rgb(60, 60, 60); padding: 4px 14px; }"
    "QPushButton:pressed { background-color: rgb(233, 143, 53); }"
    "QPushButton:disabled { color: rgb(110, 110, 110); }";

} // namespace

Vorn_VideoCaptureFilterDialog::Vorn_VideoCaptureFilterDialog(const VendorDialogDevice& device,
                                                             QWidget* parent)
    : QDialog(parent), m_access(device)
{
    setObjectName(QStringLiteral("Vorn_VideoCaptureFilterDialog"));
    const QString card = QString::fromUtf8(device.cardName ? device.cardName : "");
    setWindowTitle(card.isEmpty() ? QString::fromUtf8(device.devicePath ? device.devicePath : "")
                                  : card);
    setStyleSheet(QString::fromLatin1(kDialogStyle));

    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("controlPage"));
    buildControls(page);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidget(page);

    m_closeButton = new QPushButton(tr("Close"), this);
    m_closeButton->setObjectName(QStringLiteral("pushButton_close"));
    m_closeButton->setAutoDefault(false);
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll);
    layout->addLayout(buttons);
    resize(560, 460);
    refresh();
}

void Vorn_VideoCaptureFilterDialog::buildControls(QWidget* page)
{
    auto* grid = new QGridLayout(page);
    m_controls = DeviceControls::enumerate(m_access);
    if (m_controls.isEmpty()) {
        auto* none = new QLabel(tr("The device offers no controls."), page);
        none->setObjectName(QStringLiteral("label_noControls"));
        grid->addWidget(none, 0, 0);
    }
    int row = 0;
    for (const DeviceControl& control : m_controls) {
        auto* editor = new ControlEditor(control, page);
        grid->addWidget(editor->nameLabel(), row, 0);
        grid->addWidget(editor->editor(), row, 1);
        grid->addWidget(editor->valueLabel(), row, 2);
        connect(editor, &ControlEditor::edited, this, &Vorn_VideoCaptureFilterDialog::writeControl);
        m_editors.append(editor);
        ++row;
    }
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 1);
}

void Vorn_VideoCaptureFilterDialog::refresh()
{
    for (int i = 0; i < m_controls.size(); ++i) {
        DeviceControl& control = m_controls[i];
        if (!DeviceControls::describe(m_access, control.id, &control)) {
            m_editors[i]->setGone();
            continue;
        }
        qint32 value = 0;
        const bool readable =
            control.hasValue() && DeviceControls::read(m_access, control.id, &value) >= 0;
        m_editors[i]->show(control, readable, value);
    }
}

void Vorn_VideoCaptureFilterDialog::writeControl(quint32 id, qint32 value)
{
    const int result = DeviceControls::write(m_access, id, value);
    if (result < 0) {
        qDebug() << "control" << id << "not set to" << value << "result" << result;
    }
    // Also after a failed write: the editors then show the device's value
    // again instead of the one it refused.
    refresh();
}
