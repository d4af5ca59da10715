#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One control of the camera as the pages, profiles, presets, lumora-ctl, the
// network API and the advanced dialog all know it: its name, what kind of
// value it takes, which request carries it, where its range comes from, how
// it is shown and whether profiles keep it. Everything that shows or sends
// the control takes these facts from here, so that no two places can show
// the camera's value differently.
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
        Exposure,     // exposure mode and value (selector), 0 automatic
        Picture,      // picture property (standardId), set with the manual flag
        SignedByte,   // extension-unit byte read as signed (colour shifts)
        Switch,       // extension-unit byte, 1 on
        WhiteBalance, // picture property flags, read-only
        Byte,         // extension-unit byte, one of `choiceValues`
        Position,     // absolute camera-control property (standardId)
        Speed,        // the program's pan/tilt speed setting, not the camera's
        Relative,     // pan or tilt while held (standardId, direction)
        Zoom,         // continuous zoom on the zoom unit (selector, direction)
        Home,
        FactoryReset,
    };
    // Which request carries it.
    enum class Transport
    {
        MainUnit,        // the main extension unit, at `selector`
        ZoomUnit,        // the zoom extension unit, at `selector`
        CameraControl,   // the camera-control property `standardId`
        PictureProperty, // the picture property `standardId`
        Program,         // the program's own setting: the camera holds nothing
    };
    // How a page's slider and its value label show a value the camera holds:
    // both show value * scale + offset, so the two cannot disagree with each
    // other or with lumora-ctl, which shows the camera's value.
    struct Display
    {
        int scale = 1;
        int offset = 0;
        QString unit;          // after the number, as in "500 ms"
        QString automaticText; // the label at an automatic control's 0
    };

    QString name;
    Kind kind = Kind::Number;
    Access access = Access::Switch;
    Transport transport = Transport::MainUnit;
    unsigned long selector = 0; // extension-unit selector
    long standardId = -1;       // camera-control or picture property number
    int direction = 0;          // motions: -1 or 1
    int minimum = 0;
    int maximum = 0;
    bool cameraRange = false; // the camera reports the range
    QStringList choices;
    // What the camera holds for each of `choices` (switches: 1 on, 0 off).
    QList<int> choiceValues;
    bool readable = false;
    bool writable = false;
    // A number that also takes "auto", which the camera keeps as 0.
    bool automatic = false;
    // A value of the video or audio page: kept in the camera's profile.
    bool inProfile = false;
    Display display;
    // The widgets of the video or audio page that show it: a slider and its
    // value label, a switch, or the style's two boxes. Empty when no page does.
    QStringList widgets;
    QString help;

    // "auto|-7..7", "on|off", "meeting|live", "1..10000 ms", "".
    QString rangeText() const;

    // A slider's position for a value the camera holds, and back.
    int shown(int value) const { return value * display.scale + display.offset; }
    int fromShown(int position) const { return (position - display.offset) / display.scale; }
    // The value label's text for a value the camera holds.
    QString shownText(int value) const;

    // The choice the camera's value stands for; empty for a value of none.
    QString choiceOf(int value) const;
    // The camera's value for a choice; -1 for no choice of this control.
    int valueOf(const QString& choice) const;
};

// Every control, in the order lumora-ctl's `controls` and `get` show them.
class ControlCatalogue
{
public:
    static const QList<ControlDescriptor>& controls();
    // Null when there is no such control.
    static const ControlDescriptor* find(const QString& name);
    // A control the program itself names; it is always there.
    static const ControlDescriptor& get(const char* name);
    // The control carried by that request; null when none is.
    static const ControlDescriptor* carriedBy(ControlDescriptor::Transport transport, long id);
    // The controls a camera's profile keeps, in the order they are applied.
    static QList<const ControlDescriptor*> profileControls();
};
