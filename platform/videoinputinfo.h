#pragma once

#include <QList>
#include <QString>

// One video input as the system lists it. Stands where the Windows build
// uses QCameraInfo, which cannot be faked in tests. Two descriptions are
// equal when they name the same device path.
class VideoInputInfo
{
public:
    VideoInputInfo() = default;
    VideoInputInfo(const QString& description, const QString& deviceName, bool usbCamera)
        : m_description(description), m_deviceName(deviceName), m_usbCamera(usbCamera)
    {
    }

    bool isNull() const { return m_deviceName.isEmpty(); }
    QString description() const { return m_description; }
    // System path of the device: /dev/videoN on Linux.
    QString deviceName() const { return m_deviceName; }
    bool isUsbCamera() const { return m_usbCamera; }

    bool operator==(const VideoInputInfo& other) const { return m_deviceName == other.m_deviceName; }
    bool operator!=(const VideoInputInfo& other) const { return !(*this == other); }

private:
    QString m_description;
    QString m_deviceName;
    bool m_usbCamera = false;
};

using VideoInputList = QList<VideoInputInfo>;
