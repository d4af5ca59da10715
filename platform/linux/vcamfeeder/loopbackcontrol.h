#pragma once

#include <QString>
#include <QVector>

// v4l2loopback's device control, /dev/v4l2loopback: adds and removes single
// loopback devices while the module stays loaded, so that Lumora's camera
// can live beside another program's (OBS loads the module for its own).
class LoopbackControl
{
public:
    struct Device
    {
        int number = -1; // /dev/videoN
        QString label;
    };

    enum class Status
    {
        Ok,
        NotLoaded,
        NoControl,
        Failed
    };

    // Opens the control device; NoControl when the module is loaded but
    // older than the control (0.12.5).
    Status open();
    ~LoopbackControl();

    QVector<Device> devices() const;
    // The new device's number, or -errno.
    int add(const QString& label) const;
    // 0, or -errno (EBUSY while a program has the device open).
    int remove(int number) const;

private:
    bool query(int number, Device& device) const;

    int m_fd = -1;
};
