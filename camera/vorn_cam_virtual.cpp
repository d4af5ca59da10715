#include "vorn_cam.h"

#include "elevatedlauncher.h"
#include "ui_vorn_cam.h"
#include "virtualcameracommand.h"
#include "vorn_ffmpeglib.h"
#include "vorn_sharedmemory.h"

#include <QDebug>
#include <QDir>
#include <QSignalBlocker>

#include <cstdio>

void Vorn_Cam::pushButton_register_checked(bool status)
{
    const QString path = VirtualCameraCommand::componentPath(QDir::currentPath());
    qDebug().noquote() << path;
    qDebug() << (status ? "on" : "off");

    int result = VirtualCameraCommand::kComponentMissing;
    if (status && !VirtualCameraCommand::componentPresent(path)) {
        qDebug().noquote() << "virtual camera component missing:" << path;
        std::printf("Failed\nError code : %d\n", result);
        std::fflush(stdout);
    } else {
        const ElevatedCommand command = VirtualCameraCommand::command(path, status);
        result =
            runElevated(command.file, command.parameters, command.directory, command.showCommand);
    }
    if (result <= 32) {
        // Nothing was registered or unregistered: the switch shows the state
        // the component is still in, and the frames go where they went.
        const QSignalBlocker blocker(ui->pushButton_register);
        ui->pushButton_register->setChecked(!status);
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

int Vorn_Cam::runElevated(const QByteArray& file, const QByteArray& parameters,
                          const QByteArray& directory, int showCommand)
{
    const int result =
        ElevatedLauncher::instance().runElevated(file, parameters, directory, showCommand);
    if (result > 32) {
        std::printf("Exec: \"%s %s \" Succeeded\n", file.constData(), parameters.constData());
    } else {
        std::printf("Failed\nError code : %d\n", result);
    }
    std::fflush(stdout);
    return result;
}
