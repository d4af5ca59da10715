#pragma once

#include <QKeySequence>
#include <QObject>
#include <QString>

// Keys the desktop hands to Lumora whichever program has the focus. Each
// key is grabbed under a number of the caller's choosing, and its presses
// and releases come back under that number. A held key presses once,
// whatever the keyboard repeats, and releases once.
class GlobalKeyGrabber : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The grabber of this session; null, with the reason in *why, where the
    // desktop lets no program see keys meant for another (a Wayland session,
    // a platform without a keyboard).
    static GlobalKeyGrabber* create(QObject* parent, QString* why);

    // keys: one key with its modifiers. False, with the reason in *error,
    // when the desktop refuses it: another program holds it, or the
    // keyboard has no such key.
    virtual bool grab(int id, const QKeySequence& keys, QString* error) = 0;
    virtual void releaseAll() = 0;

signals:
    void pressed(int id);
    void released(int id);
};
