#include "cameradevice.h"

int sameNameCameraOrdinal(const CameraTable& table, int key)
{
    const QString name = table.value(key).camera.description();
    int ordinal = 0;
    for (auto it = table.cbegin(); it != table.cend() && it.key() < key; ++it) {
        if (it.value().camera.description() == name) {
            ++ordinal;
        }
    }
    return ordinal;
}

int sameNameMicrophoneOrdinal(const CameraTable& table, int key)
{
    const QString name = table.value(key).microphone.deviceName();
    int ordinal = 0;
    for (auto it = table.cbegin(); it != table.cend() && it.key() < key; ++it) {
        if (it.value().microphone.deviceName() == name) {
            ++ordinal;
        }
    }
    return ordinal;
}

CameraTable buildCameraTable(const VideoInputList& videoInputs, const AudioInputList& audioInputs)
{
    CameraTable table;
    int key = 1;
    for (const VideoInputInfo& input : videoInputs) {
        if (!input.isUsbCamera()) {
            continue;
        }
        table.insert(key, CameraDevice{input, AudioInputInfo(), key - 1, key - 1});
        ++key;
    }

    // A microphone that says which USB device it is part of goes to the
    // camera of that device: identical cameras get their own.
    QVector<bool> paired(audioInputs.size(), false);
    for (int i = 0; i < audioInputs.size(); ++i) {
        for (CameraDevice& device : table) {
            const QString usb = device.camera.usbDevice();
            if (!usb.isEmpty() && device.microphone.isNull() &&
                usb == audioInputs.at(i).usbDevice()) {
                device.microphone = audioInputs.at(i);
                paired[i] = true;
                break;
            }
        }
    }
    // Any other goes to the first free camera whose description its name
    // holds; walking the microphones backwards gives identical cameras their
    // microphones in the order the system pairs them.
    for (int i = audioInputs.size() - 1; i >= 0; --i) {
        const QString name = audioInputs.at(i).deviceName();
        for (CameraDevice& device : table) {
            if (!paired[i] && device.microphone.isNull() &&
                name.contains(device.camera.description(), Qt::CaseSensitive)) {
                device.microphone = audioInputs.at(i);
                break;
            }
        }
    }
    return table;
}

QString inaccessibleCamerasNotice(const QStringList& nodes)
{
    if (nodes.isEmpty()) {
        return QString();
    }
    // uvcvideo's nodes belong to the group "video" on every common
    // distribution; membership takes effect at the next login.
    return QStringLiteral("A camera is present (%1) but you have no permission to use it. Add "
                          "your user to the \"video\" group (sudo usermod -aG video $USER), "
                          "then log out and back in.")
        .arg(nodes.join(QStringLiteral(", ")));
}
