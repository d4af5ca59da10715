#include "x11keygrabber.h"

#include <QCoreApplication>
#include <QTimer>

#include <X11/keysym.h>

#include <cstdlib>

namespace {

// The keyboard's own repeat sends its release and press together; a release
// is passed on when no press of the same time has followed this soon.
constexpr int kReleaseSettleMs = 30;

const struct
{
    int qtKey;
    xcb_keysym_t keysym;
} kSpecialKeys[] = {
    {Qt::Key_Left, XK_Left},     {Qt::Key_Right, XK_Right},    {Qt::Key_Up, XK_Up},
    {Qt::Key_Down, XK_Down},     {Qt::Key_PageUp, XK_Prior},   {Qt::Key_PageDown, XK_Next},
    {Qt::Key_Home, XK_Home},     {Qt::Key_End, XK_End},        {Qt::Key_Insert, XK_Insert},
    {Qt::Key_Delete, XK_Delete}, {Qt::Key_Escape, XK_Escape},  {Qt::Key_Tab, XK_Tab},
    {Qt::Key_Return, XK_Return}, {Qt::Key_Enter, XK_KP_Enter}, {Qt::Key_Backspace, XK_BackSpace},
    {Qt::Key_Pause, XK_Pause},   {Qt::Key_Print, XK_Print},    {Qt::Key_Space, XK_space},
};

xcb_keysym_t keysymOf(int qtKey)
{
    for (const auto& entry : kSpecialKeys) {
        if (entry.qtKey == qtKey) {
            return entry.keysym;
        }
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        return XK_F1 + xcb_keysym_t(qtKey - Qt::Key_F1);
    }
    // Qt numbers the printable keys as Latin-1, as X11 does, but names
    // letters by their capital.
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
        return XK_a + xcb_keysym_t(qtKey - Qt::Key_A);
    }
    if (qtKey > 0x20 && qtKey <= 0xff) {
        return xcb_keysym_t(qtKey);
    }
    return XCB_NO_SYMBOL;
}

uint16_t modifiersOf(Qt::KeyboardModifiers modifiers)
{
    uint16_t mask = 0;
    if (modifiers & Qt::ShiftModifier) {
        mask |= XCB_MOD_MASK_SHIFT;
    }
    if (modifiers & Qt::ControlModifier) {
        mask |= XCB_MOD_MASK_CONTROL;
    }
    if (modifiers & Qt::AltModifier) {
        mask |= XCB_MOD_MASK_1;
    }
    if (modifiers & Qt::MetaModifier) {
        mask |= XCB_MOD_MASK_4;
    }
    return mask;
}

} // namespace

X11KeyGrabber::X11KeyGrabber(xcb_connection_t* connection, xcb_window_t root, QObject* parent)
    : GlobalKeyGrabber(parent), m_connection(connection), m_root(root),
      m_symbols(xcb_key_symbols_alloc(connection))
{
    findNumLock();
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11KeyGrabber::~X11KeyGrabber()
{
    QCoreApplication::instance()->removeNativeEventFilter(this);
    releaseAll();
    xcb_key_symbols_free(m_symbols);
}

uint16_t X11KeyGrabber::lockMask() const
{
    return XCB_MOD_MASK_LOCK | m_numLock;
}

// Num Lock is whichever modifier the keyboard's map puts its key on.
void X11KeyGrabber::findNumLock()
{
    xcb_keycode_t* numLock = xcb_key_symbols_get_keycode(m_symbols, XK_Num_Lock);
    xcb_get_modifier_mapping_reply_t* map = xcb_get_modifier_mapping_reply(
        m_connection, xcb_get_modifier_mapping(m_connection), nullptr);
    if (numLock && map) {
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(map);
        const int perModifier = map->keycodes_per_modifier;
        for (int modifier = 0; modifier < 8; ++modifier) {
            for (int i = 0; i < perModifier; ++i) {
                for (const xcb_keycode_t* k = numLock; *k != XCB_NO_SYMBOL; ++k) {
                    if (codes[modifier * perModifier + i] == *k) {
                        m_numLock = uint16_t(1u << modifier);
                    }
                }
            }
        }
    }
    free(map);
    free(numLock);
}

bool X11KeyGrabber::grab(int id, const QKeySequence& keys, QString* error)
{
    const int combined = keys.isEmpty() ? 0 : keys[0];
    const xcb_keysym_t keysym = keysymOf(combined & ~Qt::KeyboardModifierMask);
    xcb_keycode_t* keycodes =
        keysym == XCB_NO_SYMBOL ? nullptr : xcb_key_symbols_get_keycode(m_symbols, keysym);
    if (!keycodes || *keycodes == XCB_NO_SYMBOL) {
        free(keycodes);
        *error = tr("this keyboard has no such key");
        return false;
    }
    const uint16_t modifiers = modifiersOf(Qt::KeyboardModifiers(combined));
    QVector<Grab> taken;
    bool ok = true;
    for (const xcb_keycode_t* k = keycodes; ok && *k != XCB_NO_SYMBOL; ++k) {
        ok = grabKeycode(*k, modifiers, error);
        if (ok) {
            taken << Grab{id, *k, modifiers, keys};
        }
    }
    free(keycodes);
    if (!ok) {
        for (const Grab& g : taken) {
            ungrabKeycode(g.keycode, g.modifiers);
        }
        return false;
    }
    m_grabs << taken;
    return true;
}

// One grab for each state of the lock keys; all or none.
bool X11KeyGrabber::grabKeycode(xcb_keycode_t keycode, uint16_t modifiers, QString* error)
{
    const uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, m_numLock, lockMask()};
    for (uint16_t lock : locks) {
        xcb_generic_error_t* refused = xcb_request_check(
            m_connection, xcb_grab_key_checked(m_connection, 0, m_root, modifiers | lock, keycode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        if (refused) {
            *error = refused->error_code == XCB_ACCESS
                         ? tr("another program holds it")
                         : tr("X11 refused it (error %1)").arg(refused->error_code);
            free(refused);
            ungrabKeycode(keycode, modifiers);
            return false;
        }
    }
    return true;
}

void X11KeyGrabber::ungrabKeycode(xcb_keycode_t keycode, uint16_t modifiers)
{
    const uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, m_numLock, lockMask()};
    for (uint16_t lock : locks) {
        xcb_ungrab_key(m_connection, keycode, m_root, modifiers | lock);
    }
    xcb_flush(m_connection);
}

void X11KeyGrabber::releaseAll()
{
    // A key held now would leave the camera moving without its release.
    const QHash<xcb_keycode_t, int> held = m_held;
    m_held.clear();
    m_releasing.clear();
    for (int id : held) {
        emit released(id);
    }
    for (const Grab& g : m_grabs) {
        ungrabKeycode(g.keycode, g.modifiers);
    }
    m_grabs.clear();
}

bool X11KeyGrabber::nativeEventFilter(const QByteArray& eventType, void* message, long*)
{
    if (eventType != "xcb_generic_event_t") {
        return false;
    }
    auto* event = static_cast<xcb_generic_event_t*>(message);
    switch (event->response_type & ~0x80) {
    case XCB_KEY_PRESS: {
        auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
        if (key->event != m_root) {
            return false;
        }
        keyPressed(key);
        return true;
    }
    case XCB_KEY_RELEASE: {
        auto* key = reinterpret_cast<xcb_key_release_event_t*>(event);
        if (key->event != m_root) {
            return false;
        }
        keyReleased(key);
        return true;
    }
    case XCB_MAPPING_NOTIFY:
        keyboardChanged(reinterpret_cast<xcb_mapping_notify_event_t*>(event));
        return false; // Qt follows the keyboard's map too
    default:
        return false;
    }
}

void X11KeyGrabber::keyPressed(const xcb_key_press_event_t* event)
{
    const xcb_keycode_t keycode = event->detail;
    if (m_releasing.contains(keycode)) {
        const bool repeat = m_releasing.take(keycode) == event->time;
        if (repeat) {
            return;
        }
        emit released(m_held.take(keycode));
    }
    if (m_held.contains(keycode)) {
        return; // repeats of a key held
    }
    // Only the modifiers count: not the lock keys, the mouse buttons or the
    // keyboard group.
    const uint16_t modifiers = event->state & 0xff & ~lockMask();
    for (const Grab& g : qAsConst(m_grabs)) {
        if (g.keycode == keycode && g.modifiers == modifiers) {
            m_held.insert(keycode, g.id);
            emit pressed(g.id);
            return;
        }
    }
}

// The key's release ends its move whatever modifiers are still held: the
// user may let go of Ctrl first.
void X11KeyGrabber::keyReleased(const xcb_key_release_event_t* event)
{
    const xcb_keycode_t keycode = event->detail;
    if (!m_held.contains(keycode)) {
        return;
    }
    const xcb_timestamp_t time = event->time;
    m_releasing.insert(keycode, time);
    QTimer::singleShot(kReleaseSettleMs, this, [this, keycode, time] {
        if (m_releasing.contains(keycode) && m_releasing.value(keycode) == time) {
            m_releasing.remove(keycode);
            emit released(m_held.take(keycode));
        }
    });
}

// A new keyboard map may move the keys: each is grabbed again by its name.
void X11KeyGrabber::keyboardChanged(xcb_mapping_notify_event_t* event)
{
    if (event->request == XCB_MAPPING_POINTER) {
        return;
    }
    xcb_refresh_keyboard_mapping(m_symbols, event);
    const QVector<Grab> before = m_grabs;
    releaseAll();
    findNumLock();
    int lastId = -1;
    for (const Grab& g : before) {
        QString ignored;
        if (g.id != lastId) {
            grab(g.id, g.keys, &ignored);
            lastId = g.id;
        }
    }
}
