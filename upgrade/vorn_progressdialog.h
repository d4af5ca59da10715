#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class Vorn_ProgressDialog;
}

// The window that follows a firmware upgrade: a fixed notice, a status
// line and one bar shared by the transfer and the flash write.
class Vorn_ProgressDialog : public QDialog
{
    Q_OBJECT
public:
    explicit Vorn_ProgressDialog(QWidget* parent = nullptr);
    ~Vorn_ProgressDialog() override;

    // Values outside 0..100 leave the bar as it was.
    void setProgressValue(int value);
    // Markup such as "<font color=green>...</font>" is shown as rich text.
    void setStatusText(const QString& text);

private:
    friend struct Vorn_ProgressDialogInspector;

    Ui::Vorn_ProgressDialog* ui;
};
