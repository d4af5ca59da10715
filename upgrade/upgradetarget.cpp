#include "upgradetarget.h"

#include "devicecatalog.h"

namespace {

VideoInputList usbCameras()
{
    VideoInputList cameras;
    for (const VideoInputInfo& input : DeviceCatalog::instance().videoInputs()) {
        if (input.isUsbCamera()) {
            cameras.append(input);
        }
    }
    return cameras;
}

} // namespace

VideoInputInfo usbCameraAt(int index)
{
    return usbCameras().value(index);
}

int usbCameraPosition(const VideoInputInfo& camera)
{
    if (camera.isNull()) {
        return -1;
    }
    const VideoInputList cameras = usbCameras();
    for (int i = 0; i < cameras.size(); ++i) {
        if (cameras[i].deviceName() == camera.deviceName() &&
            cameras[i].description() == camera.description()) {
            return i;
        }
    }
    return -1;
}

QString cameraLeftNotice(const VideoInputInfo& camera)
{
    return QStringLiteral("The camera \"%1\" (%2) you chose to upgrade has left; nothing was "
                          "written. Plug it in, choose it again and retry.")
        .arg(camera.description(), camera.deviceName());
}
