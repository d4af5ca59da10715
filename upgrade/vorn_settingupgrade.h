#pragma once

#include <QWidget>

// The firmware upgrade page; one per process.
class Vorn_settingUpgrade : public QWidget
{
    Q_OBJECT
public:
    static Vorn_settingUpgrade* getInstance();
    ~Vorn_settingUpgrade() override;

signals:
    void disConnectDevice();

public slots:
    void captureState(bool state);
    void onCameraIDChange(int cameraId);

private:
    explicit Vorn_settingUpgrade(QWidget* parent = nullptr);

    bool captureOn = false;
    int cameraId = -1;
};
