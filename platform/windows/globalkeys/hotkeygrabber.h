#pragma once

#include "globalkeygrabber.h"

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QTimer>

// Keys registered with RegisterHotKey for the GUI thread; Windows posts
// WM_HOTKEY to its queue, where Qt's native event filter sees it. Windows
// tells only of the press, so a held key's release is found by looking at
// the key (GetAsyncKeyState) every few milliseconds until it is up: a move
// lasts as long as the key is held, as it does on X11.
class HotKeyGrabber : public GlobalKeyGrabber, public QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    explicit HotKeyGrabber(QObject* parent);
    ~HotKeyGrabber() override;

    bool grab(int id, const QKeySequence& keys, QString* error) override;
    void releaseAll() override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override;

private:
    void watchHeld();

    // Each registration: the caller's number and the virtual key.
    struct Registration
    {
        int id;
        unsigned virtualKey;
    };
    QHash<int, Registration> m_registered; // by hot key number
    QHash<int, unsigned> m_held;           // caller's number -> virtual key down
    QTimer m_watch;
};
