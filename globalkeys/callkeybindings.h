#pragma once

#include <QKeySequence>
#include <QString>
#include <QVector>

// What each key during a call does, and which key does it: kept in the
// user's settings under "callKeys/", written there with the defaults the
// first time they are read, so that the user can change them in the file.
struct CallKeyBinding
{
    enum class Action
    {
        Preset, // recalls preset `preset`
        Pad,    // holds the pad's button for `padKey` (a Qt::Key)
        Framing // switches auto framing on or off
    };
    Action action = Action::Preset;
    int preset = 0;
    int padKey = 0;
    QString name;  // the settings key: "preset3", "panLeft", ...
    QString label; // for the user: "Preset 3", "Pan left"
    QKeySequence keys;
};

namespace CallKeyBindings {

// Presets 1-9, pan and tilt, zoom in and out, auto framing, in that order.
QVector<CallKeyBinding> load();
// The user's switch: off unless the user switched it on.
bool enabled();
void setEnabled(bool on);

} // namespace CallKeyBindings
