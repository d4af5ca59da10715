#include "vorn_settingupgrade.h"

#include "dialogseam.h"
#include "ui_vorn_settingupgrade.h"
#include "upgradebridge.h"
#include "upgrademessage.h"
#include "upgradeoutcome.h"
#include "upgraderelay.h"
#include "upgradetarget.h"
#include "vorn_progressdialog.h"

#include <QAtomicPointer>
#include <QDebug>
#include <QDir>
#include <QMutex>
#include <QMutexLocker>
#include <QTextCursor>
#include <QThreadPool>
#include <QtConcurrent>

namespace {
// Built before main runs, so the first getInstance never races its
// construction.
QMutex s_creationMutex;
// The page goes with the main window's widget tree; the pointer is cleared
// then, so a later window (tests build many) gets a fresh page.
QAtomicPointer<Vorn_settingUpgrade> s_instance;

} // namespace

Vorn_settingUpgrade* Vorn_settingUpgrade::getInstance()
{
    Vorn_settingUpgrade* page = s_instance.loadAcquire();
    if (page) {
        return page;
    }
    QMutexLocker lock(&s_creationMutex);
    page = s_instance.loadAcquire();
    if (!page) {
        page = new Vorn_settingUpgrade;
        s_instance.storeRelease(page);
    }
    return page;
}

Vorn_settingUpgrade* Vorn_settingUpgrade::existingInstance()
{
    return s_instance.loadAcquire();
}

Vorn_settingUpgrade::Vorn_settingUpgrade(QWidget* parent)
    : QWidget(parent), ui(new Ui::Vorn_settingUpgrade)
{
    ui->setupUi(this);
    ui->textEdit->setReadOnly(true);

    progressDialog = new Vorn_ProgressDialog(this);
    progressDialog->setWindowFlags(Qt::Drawer | Qt::WindowCloseButtonHint);
    progressDialog->setWindowModality(Qt::WindowModal);
    progressDialog->hide();

    captureState(captureOn);

    connect(ui->pushButton_info, &QPushButton::clicked, this,
            &Vorn_settingUpgrade::pushButton_info_clicked);
    connect(ui->pushButton_upgrade, &QPushButton::clicked, this,
            &Vorn_settingUpgrade::pushButton_upgrade_clicked);
    connect(this, &Vorn_settingUpgrade::updateUpgradeInfo, this,
            &Vorn_settingUpgrade::on_updateUpgradeInfo);
    connect(this, &Vorn_settingUpgrade::upgradeProgress, this,
            &Vorn_settingUpgrade::upgrade_progressBar);
    connect(this, &Vorn_settingUpgrade::sendFileProgress, this,
            &Vorn_settingUpgrade::upgrade_progressBar);
    connect(this, &Vorn_settingUpgrade::upgradeTaskEnded, this,
            &Vorn_settingUpgrade::upgradeTask_ended);
    // Sent on the thread that runs the library call, as the library's own
    // callback would; the page's slots then get them queued.
    connect(&UpgradeRelay::instance(), &UpgradeRelay::message, this,
            &Vorn_settingUpgrade::updateUpgradeInfo, Qt::DirectConnection);
    connect(&UpgradeRelay::instance(), &UpgradeRelay::taskEnded, this,
            &Vorn_settingUpgrade::upgradeTaskEnded, Qt::DirectConnection);
}

Vorn_settingUpgrade::~Vorn_settingUpgrade()
{
    s_instance.testAndSetOrdered(this, nullptr);
    delete progressDialog;
    delete ui;
}

void Vorn_settingUpgrade::captureState(bool state)
{
    captureOn = state;
    ui->pushButton_info->setEnabled(state);
    ui->pushButton_upgrade->setEnabled(state);
}

void Vorn_settingUpgrade::onCameraIDChange(int id)
{
    qDebug() << "CameraId: " << id;
    cameraId = id;
    // Until the window names the camera, the one at that position now.
    shownCamera = usbCameraAt(id);
}

void Vorn_settingUpgrade::onCameraIdentityChange(const VideoInputInfo& camera)
{
    shownCamera = camera;
}

void Vorn_settingUpgrade::pushButton_info_clicked()
{
    ui->textEdit->clear();
    const QString failure = readUpgradeInformation(cameraId);
    if (!failure.isEmpty()) {
        DialogSeam::information(nullptr, QStringLiteral("Notice"), failure, QMessageBox::Ok);
    }
}

void Vorn_settingUpgrade::upgrade_progressBar(int value)
{
    progressDialog->setProgressValue(value);
}

void Vorn_settingUpgrade::pushButton_upgrade_clicked()
{
    upgrading = false;
    ui->textEdit->clear();
    // The camera the user clicked for, kept from here on: while the
    // question and the file dialog are open the window may let it go and
    // choose another camera by itself, which must not get the firmware.
    const VideoInputInfo target = cameraId == -1 ? VideoInputInfo() : shownCamera;
    if (target.isNull()) {
        DialogSeam::information(nullptr, QStringLiteral("Notice"),
                                QStringLiteral("No camera selected, can't upgrade!"),
                                QMessageBox::Ok);
        return;
    }
    const QMessageBox::StandardButton answer = DialogSeam::information(
        nullptr, QStringLiteral("Notice"),
        QStringLiteral("This will shut down the device, Do you want to upgrade?"),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer != QMessageBox::Yes) {
        return;
    }
    const QString fileName =
        DialogSeam::getOpenFileName(nullptr, QStringLiteral("选择升级文件"), QDir::currentPath(),
                                    QStringLiteral("Files(*.pkg *.img)"));
    qDebug() << "filename is:" << fileName;
    if (fileName.isEmpty()) {
        return;
    }
    // Checked here so that a camera that left keeps its window state, and
    // once more by the task just before the library call.
    const int position = usbCameraPosition(target);
    if (position < 0) {
        DialogSeam::information(nullptr, QStringLiteral("Notice"), cameraLeftNotice(target),
                                QMessageBox::Ok);
        return;
    }
    emit disConnectDevice();
    QtConcurrent::run(QThreadPool::globalInstance(), checkedUpgradeTask, fileName, position,
                      target);
    upgrading = true;
    outcome.reset();
    progressDialog->show();
}

void Vorn_settingUpgrade::on_updateUpgradeInfo(QString data)
{
    qDebug() << "data: " << data;
    const UpgradeOutcome::Reading reading = outcome.read(data);
    showProgress(reading);
    if (!reading.exit && !isSendFileMessage(data) && !isFlashWriteMessage(data)) {
        ui->textEdit->append(data);
    }
    if (reading.exit && upgrading) {
        finishUpgrade();
    }
    scrollToEnd();
}

void Vorn_settingUpgrade::showProgress(const UpgradeOutcome::Reading& reading)
{
    if (reading.phase == UpgradeOutcome::Phase::SendFile) {
        qDebug("file progress: %d", reading.barValue);
        emit sendFileProgress(reading.barValue);
    } else if (reading.phase == UpgradeOutcome::Phase::FlashWrite) {
        qDebug("write progress: %f", reading.percent);
        emit upgradeProgress(reading.barValue);
    } else {
        return;
    }
    progressDialog->setStatusText(reading.status);
}

void Vorn_settingUpgrade::finishUpgrade()
{
    upgrading = false;
    qDebug() << "ok--";
    progressDialog->setStatusText(outcome.succeeded() ? upgradeCompleteStatus()
                                                      : upgradeFailedStatus(QString()));
    if (!outcome.succeeded()) {
        qDebug() << "upgrade failed: " << outcome.failure();
    }
    outcome.reset();
}

void Vorn_settingUpgrade::failUpgrade(const QString& reason)
{
    upgrading = false;
    qDebug() << "upgrade failed: " << reason;
    progressDialog->setStatusText(upgradeFailedStatus(reason));
    outcome.reset();
}

void Vorn_settingUpgrade::upgradeTask_ended(QString failure)
{
    // Every message the task sent was queued before this, so an upgrade
    // still running here never got its final message.
    if (!upgrading) {
        return;
    }
    failUpgrade(failure.isEmpty()
                    ? QStringLiteral("the upgrade library ended without finishing the upgrade")
                    : failure);
}

void Vorn_settingUpgrade::scrollToEnd()
{
    QTextCursor cursor = ui->textEdit->textCursor();
    cursor.movePosition(QTextCursor::End);
    ui->textEdit->setTextCursor(cursor);
}
