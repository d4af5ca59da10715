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
