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
    VideoInputInfo(const QString& description, const QString& deviceName, bool usbCamera,
                   const QString& usbDevice = QString())
        : m_description(description), m_deviceName(deviceName), m_usbCamera(usbCamera),
          m_usbDevice(usbDevice)
    {
    }

    bool isNull() const { return m_deviceName.isEmpty(); }
    QString description() const { return m_description; }
    // System path of the device: /dev/videoN on Linux.
    QString deviceName() const { return m_deviceName; }
    bool isUsbCamera() const { return m_usbCamera; }
    // The USB device the camera is part of (its sysfs folder on Linux), which
    // its microphone shares; empty when the system does not tell.
    QString usbDevice() const { return m_usbDevice; }

    bool operator==(const VideoInputInfo& other) const { return m_deviceName == other.m_deviceName; }
    bool operator!=(const VideoInputInfo& other) const { return !(*this == other); }

private:
    QString m_description;
    QString m_deviceName;
    bool m_usbCamera = false;
    QString m_usbDevice;
};

using VideoInputList = QList<VideoInputInfo>;
