#pragma once

#include <QByteArray>

#include <cstddef>

// One device event as the kernel broadcasts it on its uevent netlink
// socket: "ACTION@DEVPATH" and then KEY=VALUE fields, each ended by a NUL.
struct UeventMessage
{
    QByteArray action;    // add, remove, change, bind, ...
    QByteArray subsystem; // video4linux, sound, usb, ...
    QByteArray devName;   // video0, snd/pcmC1D0c, ...

    // False for anything that is not a whole kernel event (udev's own
    // re-broadcasts start with "libudev" and are not taken).
    static bool parse(const char* data, std::size_t size, UeventMessage* message);

    // A video device came or went.
    bool concernsVideoDevices() const;
};
