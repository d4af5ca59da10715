#pragma once

#include <QList>
#include <QString>

#include <cstdint>

class ControlAccess;

// One entry of a menu control: its index and what the user sees.
struct MenuEntry
{
    qint64 index = 0;
    QString text;
};

// A control as the dialog shows it.
struct DeviceControl
{
    enum class Kind
    {
        Integer,
        Boolean,
        Menu,
        IntegerMenu,
        Button
    };

    quint32 id = 0;
    Kind kind = Kind::Integer;
    QString name;
    qint64 minimum = 0;
    qint64 maximum = 0;
    qint64 step = 1;
    qint64 defaultValue = 0;
    quint32 flags = 0;
    QList<MenuEntry> menu;

    bool readOnly() const;
    bool inactive() const;
    // Buttons and write-only controls have no value to read.
    bool hasValue() const;
};

namespace DeviceControls {

// Every control the device offers, in the device's order; disabled
// controls, control classes and kinds the dialog cannot edit are left out.
QList<DeviceControl> enumerate(const ControlAccess& access);

// Reads one control's description again (ranges and flags may change when
// another control is written); false when the device no longer offers it.
bool describe(const ControlAccess& access, quint32 id, DeviceControl* control);

// The current value; a negative errno when it cannot be read.
int read(const ControlAccess& access, quint32 id, qint32* value);

int write(const ControlAccess& access, quint32 id, qint32 value);

} // namespace DeviceControls
