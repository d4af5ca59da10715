#include "upgradecamera.h"

#include "devicecatalog.h"
#include "simulatedhub.h"

UpgradeCamera findUpgradeCamera(int index)
{
    UpgradeCamera camera;
    if (index < 0) {
        return camera;
    }
    int position = 0;
    for (const VideoInputInfo& input : DeviceCatalog::instance().videoInputs()) {
        if (!input.isUsbCamera()) {
            continue;
        }
        if (position++ != index) {
            continue;
        }
        camera.found = true;
        camera.description = input.description();
        camera.deviceName = input.deviceName();
        camera.simulated = SimulatedHub::instance().camera(input.deviceName());
        break;
    }
    return camera;
}
