#include "vorn_progressdialog.h"

#include "ui_vorn_progressdialog.h"

Vorn_ProgressDialog::Vorn_ProgressDialog(QWidget* parent)
    : QDialog(parent), ui(new Ui::Vorn_ProgressDialog)
{
    ui->setupUi(this);
}

Vorn_ProgressDialog::~Vorn_ProgressDialog()
{
    delete ui;
}

void Vorn_ProgressDialog::setProgressValue(int value)
{
    ui->progressBar->setValue(value);
}

void Vorn_ProgressDialog::setStatusText(const QString& text)
{
    ui->label->setText(text);
}
