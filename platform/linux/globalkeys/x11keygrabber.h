#pragma once

#include "globalkeygrabber.h"

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QVector>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

// Keys grabbed on the X11 root window through Qt's own connection to the
// display; their events come through Qt's native event filter. The grab
// holds for every state of Caps Lock and Num Lock, since X11 counts them
// as modifiers and a key pressed with Num Lock on would otherwise slip by.
class X11KeyGrabber : public GlobalKeyGrabber, public QAbstractNativeEventFilter
{
    Q_OBJECT
public:
    X11KeyGrabber(xcb_connection_t* connection, xcb_window_t root, QObject* parent);
    ~X11KeyGrabber() override;

    bool grab(int id, const QKeySequence& keys, QString* error) override;
    void releaseAll() override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override;

private:
    struct Grab
    {
        int id;
        xcb_keycode_t keycode;
        uint16_t modifiers;
        QKeySequence keys;
    };
    uint16_t lockMask() const;
    bool grabKeycode(xcb_keycode_t keycode, uint16_t modifiers, QString* error);
    void ungrabKeycode(xcb_keycode_t keycode, uint16_t modifiers);
    void keyPressed(const xcb_key_press_event_t* event);
    void keyReleased(const xcb_key_release_event_t* event);
    void keyboardChanged(xcb_mapping_notify_event_t* event);
    void findNumLock();

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    xcb_key_symbols_t* m_symbols;
    uint16_t m_numLock = XCB_MOD_MASK_2;
    QVector<Grab> m_grabs;
    // The bound keys down now, by keycode: which grab they pressed.
    QHash<xcb_keycode_t, int> m_held;
    // A release not yet passed on, by keycode, with its time: the keyboard's
    // own repeat sends a release and a press of the same time, which is no
    // release at all.
    QHash<xcb_keycode_t, xcb_timestamp_t> m_releasing;
};
