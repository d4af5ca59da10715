#pragma once

#include "upgradeoutcome.h"
#include "videoinputinfo.h"

#include <QString>
#include <QWidget>

class Vorn_ProgressDialog;

namespace Ui {
class Vorn_settingUpgrade;
}

// The firmware upgrade page; one per process, found by the upgrade
// library's message callback from any thread.
class Vorn_settingUpgrade : public QWidget
{
    Q_OBJECT
public:
    static Vorn_settingUpgrade* getInstance();
    // The page if it exists, without creating it: a pool thread must never
    // build a widget, and after the window is gone nobody is listening.
    static Vorn_settingUpgrade* existingInstance();
    ~Vorn_settingUpgrade() override;

signals:
    void updateUpgradeInfo(QString data);
    void disConnectDevice();
    void sendFileProgress(int value);
    void upgradeProgress(int value);
    // Sent by the upgrade task when it ends; failure is empty when the
    // library was called, else why it could not be.
    void upgradeTaskEnded(QString failure);

public slots:
    void captureState(bool state);
    void onCameraIDChange(int cameraId);
    // The camera the window shows at that position, checked again before
    // firmware is written to it.
    void onCameraIdentityChange(const VideoInputInfo& camera);

private slots:
    void pushButton_info_clicked();
    void on_updateUpgradeInfo(QString data);
    void pushButton_upgrade_clicked();
    void upgrade_progressBar(int value);
    void upgradeTask_ended(QString failure);

private:
    explicit Vorn_settingUpgrade(QWidget* parent = nullptr);

    void showProgress(const UpgradeOutcome::Reading& reading);
    void finishUpgrade();
    void failUpgrade(const QString& reason);
    void scrollToEnd();

    friend struct Vorn_settingUpgradeInspector;

    Ui::Vorn_settingUpgrade* ui;
    bool upgrading = false;
    bool captureOn = false;
    int cameraId = -1;
    VideoInputInfo shownCamera;
    Vorn_ProgressDialog* progressDialog;
    // What this upgrade's messages said so far.
    UpgradeOutcome outcome;
};
