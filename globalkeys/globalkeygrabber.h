#pragma once

#include <QKeySequence>
#include <QMap>
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
    // desktop lets no program see keys meant for another (a Wayland session
    // without the desktop portal's global shortcuts, a platform without a
    // keyboard).
    static GlobalKeyGrabber* create(QObject* parent, QString* why);

    // keys: one key with its modifiers. False, with the reason in *error,
    // when the desktop refuses it: another program holds it, or the
    // keyboard has no such key.
    virtual bool grab(int id, const QKeySequence& keys, QString* error) = 0;
    virtual void releaseAll() = 0;
    // What the key grabbed as `id` is for, where the desktop lists the keys
    // of each program for the user (the portal's shortcut settings): name
    // stays the same from run to run, label is for the user. Called before
    // grab(); grabbers of keys the desktop does not list need neither.
    virtual void describe(int, const QString&, const QString&) {}
    // The keys grabbed since releaseAll() are all there are: a desktop that
    // binds them together, and answers later (the portal), is asked now.
    virtual void grabsDone() {}
    // The keys the desktop bound for `id`, in its words, where it chose
    // them (the portal's dialog may let the user pick others); empty where
    // they are the keys grab() took.
    virtual QString boundKeys(int) const { return QString(); }

signals:
    void pressed(int id);
    void released(int id);
    // Keys grab() took that the desktop turned down when it answered, with
    // the reason of each.
    void refused(const QMap<int, QString>& errors);
};
