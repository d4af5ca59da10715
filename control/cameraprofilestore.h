#pragma once

#include "cameramover.h"
#include "videoinputinfo.h"

#include <QJsonObject>
#include <QString>
#include <QVector>

// The settings that follow a camera: the values of its video and audio
// pages and its nine presets, kept in the user's settings (XDG config on
// Linux, the user's registry on Windows) under the camera's identity, never
// its place in the camera list.
class CameraProfileStore
{
public:
    static constexpr int kPresets = 9;
    // A network controller keeps positions 0 to 127 under the same numbers,
    // so its 1 to 9 are the window's presets.
    static constexpr int kStoredPositions = 128;

    // The camera's USB serial number when it has one, else its vendor and
    // product ids with the USB port it is plugged into; for a camera the
    // system tells nothing about, its description and device path.
    static QString keyOf(const VideoInputInfo& camera);

    // The page values as lumora-ctl's get --json names them; empty when
    // the camera has no profile.
    static QJsonObject values(const QString& key);
    static void setValues(const QString& key, const QJsonObject& values);
    // The window's presets are numbered 1 to 9, a controller's 0 to 127;
    // false when that one was never saved.
    static bool preset(const QString& key, int number, PtzPosition* position);
    // Which of presets 1 to count are saved, read in one pass.
    static QVector<bool> savedPresets(const QString& key, int count);
    static void setPreset(const QString& key, int number, const PtzPosition& position);
    static void removePreset(const QString& key, int number);
    // A held profile is kept against other programs' changes, not only
    // restored when the camera connects.
    static bool held(const QString& key);
    static void setHeld(const QString& key, bool held);
    // The capture mode the window last chose for the camera, in
    // CaptureMode's written form; empty when none was chosen.
    static QString captureMode(const QString& key);
    static void setCaptureMode(const QString& key, const QString& mode);
    // Forgets the camera's values, presets and mode.
    static void clear(const QString& key);

    // "Restore my settings when the camera connects"; on unless turned off.
    // Where the profiles are kept: processes that share it share the
    // profiles, and must not both apply them.
    static QString location();

    static bool restoreOnConnect();
    static void setRestoreOnConnect(bool on);
};
