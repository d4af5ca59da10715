#include "vorn_cam.h"

#include "dialogseam.h"
#include "elevatedlauncher.h"
#include "ui_vorn_cam.h"
#include "virtualcameracommand.h"
#include "vorn_ffmpeglib.h"
#include "vorn_sharedmemory.h"

#include <QDebug>
#include <QDir>
#include <QGraphicsOpacityEffect>
#include <QPointer>
#include <QSignalBlocker>

#include <cstdio>

void Vorn_Cam::pushButton_register_checked(bool status)
{
    if (virtualCameraPending) {
        // The tool of the last click is still running: its result decides.
        const QSignalBlocker blocker(ui->pushButton_register);
        ui->pushButton_register->setChecked(!status);
        return;
    }
    const QString path = VirtualCameraCommand::componentPath(QDir::currentPath());
    qDebug().noquote() << path;
    qDebug() << (status ? "on" : "off");

    const QString refusal = VirtualCameraCommand::refusal(path);
    if (!refusal.isEmpty()) {
        qWarning().noquote() << refusal;
        finishVirtualCamera(status, false, refusal);
        return;
    }

    // The switch shows its new position, dimmed and inert, until the tool
    // has answered; the prompt may stay open for minutes, the window runs on.
    setVirtualCameraPending(true);
    const ElevatedCommand command = VirtualCameraCommand::command(path, status);
    const QPointer<Vorn_Cam> self(this);
    ElevatedLauncher::instance().startElevated(
        command.file, command.parameters, command.directory, command.showCommand, this,
        [self, status, command](ElevatedLauncher::Result result, int code) {
            if (!self) {
                return;
            }
            const bool started = result == ElevatedLauncher::Result::Started;
            printLaunchResult(command.file, command.parameters, started, code);
            self->finishVirtualCamera(
                status, started,
                started ? QString() : VirtualCameraCommand::failureMessage(status, result, code));
        });
}

void Vorn_Cam::finishVirtualCamera(bool status, bool switched, const QString& failure)
{
    setVirtualCameraPending(false);
    if (!switched) {
        // Nothing was registered or unregistered: the switch shows the state
        // the component is still in, and the frames go where they went.
        {
            const QSignalBlocker blocker(ui->pushButton_register);
            ui->pushButton_register->setChecked(!status);
        }
        DialogSeam::information(nullptr, QStringLiteral("Notice"), failure);
        return;
    }

    if (status) {
        connect(captureLib, &Vorn_FFmpeglib::frameBuffer, sharedMemory,
                &Vorn_SharedMemory::ImageFrame, Qt::UniqueConnection);
        return;
    }
    disconnect(captureLib, &Vorn_FFmpeglib::frameBuffer, sharedMemory,
               &Vorn_SharedMemory::ImageFrame);
    if (sharedMemory) {
        sharedMemory->detachSegment();
    }
}

void Vorn_Cam::setVirtualCameraPending(bool pending)
{
    virtualCameraPending = pending;
    ui->pushButton_register->setEnabled(!pending);
    if (pending) {
        auto* dimmed = new QGraphicsOpacityEffect(ui->pushButton_register);
        dimmed->setOpacity(0.4);
        ui->pushButton_register->setGraphicsEffect(dimmed);
        ui->pushButton_register->setToolTip(QStringLiteral("Waiting for the administrator..."));
    } else {
        ui->pushButton_register->setGraphicsEffect(nullptr);
        ui->pushButton_register->setToolTip(QString());
    }
}

void Vorn_Cam::printLaunchResult(const QByteArray& file, const QByteArray& parameters, bool started,
                                 int code)
{
    if (started) {
        std::printf("Exec: \"%s %s \" Succeeded\n", file.constData(), parameters.constData());
    } else {
        std::printf("Failed\nError code : %d\n", code);
    }
    std::fflush(stdout);
}
