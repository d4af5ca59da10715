#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One control of the camera as the pages, profiles, presets and lumora-ctl
// all know it: its name, what kind of value it takes, which request carries
// it and where its range comes from.
struct ControlDescriptor
{
    enum class Kind
    {
        Number, // an integer in [minimum, maximum]
        Switch, // on or off
        Choice, // one of `choices`
        Motion, // moves for a number of milliseconds in [minimum, maximum]
        Action, // runs once; takes no value
        Text,   // read-only text
    };
    // How the value reaches the camera.
    enum class Access
    {
        Firmware,     // device information (selector)
        Exposure,     // exposure mode and value, 0 automatic
        Contrast,     // picture property
        SignedByte,   // extension-unit byte read as signed (colour shifts)
        Switch,       // extension-unit byte, 1 on
        WhiteBalance, // picture property flags, read-only
        ImageStyle,   // extension-unit byte 6 or 5
        Position,     // absolute camera-control property (standardId)
        Speed,        // the program's pan/tilt speed setting, not the camera's
        Relative,     // pan or tilt while held (standardId, direction)
        Zoom,         // continuous zoom on the zoom unit (direction)
        Home,
        FactoryReset,
    };

    QString name;
    Kind kind = Kind::Number;
    Access access = Access::Switch;
    unsigned long selector = 0; // extension-unit selector
    long standardId = -1;       // camera-control property number
    int direction = 0;          // motions: -1 or 1
    int minimum = 0;
    int maximum = 0;
    bool cameraRange = false; // the camera reports the range
    QStringList choices;
    bool readable = false;
    bool writable = false;
    // A number that also takes "auto", which the camera keeps as 0.
    bool automatic = false;
    // A value of the video or audio page: kept in the camera's profile.
    bool inProfile = false;
    QString help;

    // "auto|-7..7", "on|off", "meeting|live", "1..10000 ms", "".
    QString rangeText() const;
};

// Every control, in the order lumora-ctl's `controls` and `get` show them.
class ControlCatalogue
{
public:
    static const QList<ControlDescriptor>& controls();
    // Null when there is no such control.
    static const ControlDescriptor* find(const QString& name);
    // The controls a camera's profile keeps, in the order they are applied.
    static QList<const ControlDescriptor*> profileControls();
};
