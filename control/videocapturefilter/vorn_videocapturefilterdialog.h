#pragma once

#include "controlaccess.h"
#include "devicecontrol.h"

#include <QDialog>

class ControlEditor;
class QPushButton;

// Every control of one device, each written as soon as the user changes it.
// After a write all values are read again: one control may change another
// (automatic white balance greys out the temperature).
class Vorn_VideoCaptureFilterDialog : public QDialog
{
    Q_OBJECT

public:
    explicit Vorn_VideoCaptureFilterDialog(const VendorDialogDevice& device,
                                           QWidget* parent = nullptr);

    // Reads every control's flags, range and value again.
    void refresh();

private:
    void buildControls(QWidget* page);
    void writeControl(quint32 id, qint32 value);

    ControlAccess m_access;
    QList<DeviceControl> m_controls;
    QList<ControlEditor*> m_editors;
    QPushButton* m_closeButton = nullptr;
};
