#pragma once

#include <QList>
#include <QString>

// One audio input (microphone) as the system lists it. Stands where the
// Windows build uses QAudioDeviceInfo. deviceName() is the human-readable
// name the camera pairing works on (a USB camera's microphone carries the
// camera's name); systemId() is what the audio system opens (the PulseAudio
// source name on Linux).
class AudioInputInfo
{
public:
    AudioInputInfo() = default;
    AudioInputInfo(const QString& deviceName, const QString& systemId,
                   const QString& usbDevice = QString())
        : m_deviceName(deviceName), m_systemId(systemId), m_usbDevice(usbDevice)
    {
    }

    bool isNull() const { return m_deviceName.isEmpty() && m_systemId.isEmpty(); }
    QString deviceName() const { return m_deviceName; }
    QString systemId() const { return m_systemId; }
    // The USB device the microphone is part of, as VideoInputInfo::usbDevice
    // names it; empty when unknown.
    QString usbDevice() const { return m_usbDevice; }

    bool operator==(const AudioInputInfo& other) const
    {
        return m_deviceName == other.m_deviceName && m_systemId == other.m_systemId;
    }

private:
    QString m_deviceName;
    QString m_systemId;
    QString m_usbDevice;
};

using AudioInputList = QList<AudioInputInfo>;
