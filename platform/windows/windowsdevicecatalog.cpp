#include "windowsdevicecatalog.h"

#include <QAudioDeviceInfo>
#include <QCameraInfo>

VideoInputList WindowsDeviceCatalog::videoInputs()
{
    VideoInputList inputs;
    for (const QCameraInfo& camera : QCameraInfo::availableCameras()) {
        // USB cameras have a PnP device path; software cameras (the virtual
        // camera among them) do not.
        const bool usb = camera.deviceName().contains(QStringLiteral("pnp:\\\\?\\usb#vid_"));
        inputs.append(VideoInputInfo(camera.description(), camera.deviceName(), usb));
    }
    return inputs;
}

CameraAvailability WindowsDeviceCatalog::availability(const VideoInputInfo& camera)
{
    for (const QCameraInfo& listed : QCameraInfo::availableCameras()) {
        if (listed.deviceName() == camera.deviceName()) {
            return CameraAvailability::Unknown;
        }
    }
    return CameraAvailability::Gone;
}

AudioInputList WindowsDeviceCatalog::audioInputs()
{
    AudioInputList inputs;
    for (const QAudioDeviceInfo& device : QAudioDeviceInfo::availableDevices(QAudio::AudioInput)) {
        inputs.append(AudioInputInfo(device.deviceName(), device.deviceName()));
    }
    return inputs;
}
