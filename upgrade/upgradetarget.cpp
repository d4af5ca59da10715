#include "upgradetarget.h"

#include "devicecatalog.h"

VideoInputInfo usbCameraAt(int index)
{
    if (index < 0) {
        return VideoInputInfo();
    }
    int position = 0;
    for (const VideoInputInfo& input : DeviceCatalog::instance().videoInputs()) {
        if (input.isUsbCamera() && position++ == index) {
            return input;
        }
    }
    return VideoInputInfo();
}

QString upgradeTargetMismatch(int index, const VideoInputInfo& expected)
{
    const VideoInputInfo current = usbCameraAt(index);
    if (current.deviceName() == expected.deviceName() &&
        current.description() == expected.description()) {
        return QString();
    }
    if (current.isNull()) {
        return QStringLiteral("The camera \"%1\" (%2) is gone; nothing was written. "
                              "Plug it in, choose it again and retry.")
            .arg(expected.description(), expected.deviceName());
    }
    if (expected.isNull()) {
        return QStringLiteral("A camera \"%1\" (%2) has appeared at position %3; nothing was "
                              "written. Choose the camera again and retry.")
            .arg(current.description(), current.deviceName())
            .arg(index);
    }
    return QStringLiteral("The camera at position %1 is now \"%2\" (%3), not \"%4\" (%5); "
                          "nothing was written. Choose the camera again and retry.")
        .arg(index)
        .arg(current.description(), current.deviceName(), expected.description(),
             expected.deviceName());
}
