#include "cliselection.h"

#include "devicecatalog.h"

namespace {

constexpr int kAudioSettleMs = 3000;

} // namespace

QList<CliCamera> discoverCameras()
{
    DeviceCatalog& catalog = DeviceCatalog::instance();
    // Read once: a microphone the audio server lists late would be missing
    // from the pairing, and a recording would go without its sound.
    catalog.settleAudioInputs(kAudioSettleMs);
    const CameraTable table = buildCameraTable(catalog.videoInputs(), catalog.audioInputs());
    QList<CliCamera> cameras;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        CliCamera camera;
        camera.index = it.value().deviceId;
        camera.camera = it.value().camera;
        camera.microphone = it.value().microphone;
        camera.cameraOrdinal = sameNameCameraOrdinal(table, it.key());
        camera.microphoneOrdinal = sameNameMicrophoneOrdinal(table, it.key());
        cameras.append(camera);
    }
    return cameras;
}

QList<CliCamera> selectCameras(const QString& argument, bool allowAll, QString* error)
{
    const QList<CliCamera> cameras = discoverCameras();
    if (argument == QLatin1String("all")) {
        if (!allowAll) {
            *error = QStringLiteral("this command takes one camera, not \"all\"; give an index or "
                                    "a device path from \"lumora-ctl list\"");
            return {};
        }
        if (cameras.isEmpty()) {
            const QString denied =
                inaccessibleCamerasNotice(DeviceCatalog::instance().inaccessibleVideoInputs());
            *error = denied.isEmpty()
                         ? QStringLiteral("no camera is connected; plug one in and retry")
                         : denied;
        }
        return cameras;
    }
    bool isNumber = false;
    const int index = argument.toInt(&isNumber);
    for (const CliCamera& camera : cameras) {
        if ((isNumber && camera.index == index) || camera.camera.deviceName() == argument) {
            return {camera};
        }
    }
    *error = QStringLiteral("there is no camera \"%1\"; run \"lumora-ctl list\" to see the "
                            "cameras and their indexes")
                 .arg(argument);
    if (cameras.isEmpty()) {
        // The likeliest reason for no camera at all: it is there, but not
        // for this user.
        const QString denied =
            inaccessibleCamerasNotice(DeviceCatalog::instance().inaccessibleVideoInputs());
        *error = denied.isEmpty() ? *error : denied;
    }
    return {};
}

int currentPosition(const VideoInputInfo& camera)
{
    for (const CliCamera& found : discoverCameras()) {
        if (found.camera.deviceName() == camera.deviceName() &&
            found.camera.description() == camera.description()) {
            return found.index;
        }
    }
    return -1;
}

QJsonObject cameraObject(const CliCamera& camera)
{
    QJsonObject object;
    object.insert(QStringLiteral("index"), camera.index);
    object.insert(QStringLiteral("description"), camera.camera.description());
    object.insert(QStringLiteral("device"), camera.camera.deviceName());
    return object;
}
