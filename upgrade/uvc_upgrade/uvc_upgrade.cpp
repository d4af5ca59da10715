// The project's firmware upgrade library. It reads the information of a
// simulated camera and writes firmware files into it; a real camera is
// named but left alone, as its vendor's transfer protocol is not ours.

#include "uvc_upgrade.h"
#include "firmwarewriter.h"
#include "simulatedcamera.h"
#include "upgradecamera.h"
#include "upgradeoptions.h"

namespace {

const char kDone[] = "uvc_upgrade: done";
const char kFailed[] = "uvc_upgrade: failed";

const char* readInformation(const UpgradeCamera& camera, int index, UpgradeMessageCallback report)
{
    if (!camera.found) {
        report("Error: no camera at index %d", index);
        report("get info exit");
        return kFailed;
    }
    const QByteArray description = camera.description.toLocal8Bit();
    const QByteArray device = camera.deviceName.toLocal8Bit();
    report("Device name: %s", description.constData());
    report("Device path: %s", device.constData());
    if (camera.simulated) {
        report("Firmware version: %s", kSimulatedFirmwareVersion);
        report("Hardware: simulated PTZ camera %dx%d@%d", camera.simulated->config().width,
               camera.simulated->config().height, camera.simulated->config().fps);
    } else {
        report("Firmware version: not readable from this camera");
    }
    report("get info exit");
    return kDone;
}

const char* writeFile(const UpgradeCamera& camera, const UpgradeOptions& options,
                      UpgradeMessageCallback report)
{
    bool written = false;
    if (!camera.found) {
        report("Error: no camera at index %d", options.cameraIndex);
    } else if (!camera.simulated) {
        report("Error: this camera does not take firmware from this library");
    } else {
        written = writeFirmware(options.filePath, camera, report);
    }
    report(written ? "upgrade exit" : "upgrade failed, exit");
    return written ? kDone : kFailed;
}

} // namespace

extern "C" UVC_UPGRADE_EXPORT const char* UVC_UPGRADE_CDECL
upgrade(int optionCount, const char* switch1, const char* value1, const char* switch2,
        const char* value2, UpgradeMessageCallback callback)
{
    if (!callback) {
        return kFailed;
    }
    const UpgradeOptions options =
        parseUpgradeOptions(optionCount, switch1, value1, switch2, value2);
    if (options.operation == UpgradeOptions::Operation::Invalid) {
        callback("Error: invalid options (%s)", options.problem.c_str());
        callback("exit");
        return kFailed;
    }
    const UpgradeCamera camera = findUpgradeCamera(options.cameraIndex);
    if (options.operation == UpgradeOptions::Operation::ReadInformation) {
        return readInformation(camera, options.cameraIndex, callback);
    }
    return writeFile(camera, options, callback);
}
