#include "hotkeygrabber.h"

#include <QCoreApplication>

#include <windows.h>

namespace {

// Application hot keys are numbered 0x0000-0xBFFF; Lumora's start here.
constexpr int kFirstHotKey = 0x4c00;
constexpr int kHeldCheckMs = 30;

const struct
{
    int qtKey;
    unsigned virtualKey;
} kSpecialKeys[] = {
    {Qt::Key_Left, VK_LEFT},         {Qt::Key_Right, VK_RIGHT},     {Qt::Key_Up, VK_UP},
    {Qt::Key_Down, VK_DOWN},         {Qt::Key_PageUp, VK_PRIOR},    {Qt::Key_PageDown, VK_NEXT},
    {Qt::Key_Home, VK_HOME},         {Qt::Key_End, VK_END},         {Qt::Key_Insert, VK_INSERT},
    {Qt::Key_Delete, VK_DELETE},     {Qt::Key_Escape, VK_ESCAPE},   {Qt::Key_Tab, VK_TAB},
    {Qt::Key_Return, VK_RETURN},     {Qt::Key_Enter, VK_RETURN},    {Qt::Key_Backspace, VK_BACK},
    {Qt::Key_Pause, VK_PAUSE},       {Qt::Key_Print, VK_SNAPSHOT},  {Qt::Key_Space, VK_SPACE},
    {Qt::Key_Plus, VK_OEM_PLUS},     {Qt::Key_Minus, VK_OEM_MINUS}, {Qt::Key_Comma, VK_OEM_COMMA},
    {Qt::Key_Period, VK_OEM_PERIOD},
};

unsigned virtualKeyOf(int qtKey)
{
    for (const auto& entry : kSpecialKeys) {
        if (entry.qtKey == qtKey) {
            return entry.virtualKey;
        }
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        return VK_F1 + unsigned(qtKey - Qt::Key_F1);
    }
    // Digits and capital letters are their own virtual keys.
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)) {
        return unsigned(qtKey);
    }
    return 0;
}

UINT modifiersOf(Qt::KeyboardModifiers modifiers)
{
    // Without MOD_NOREPEAT a held key would press again at the keyboard's
    // repeat rate.
    UINT mask = MOD_NOREPEAT;
    if (modifiers & Qt::ShiftModifier) {
        mask |= MOD_SHIFT;
    }
    if (modifiers & Qt::ControlModifier) {
        mask |= MOD_CONTROL;
    }
    if (modifiers & Qt::AltModifier) {
        mask |= MOD_ALT;
    }
    if (modifiers & Qt::MetaModifier) {
        mask |= MOD_WIN;
    }
    return mask;
}

} // namespace

GlobalKeyGrabber* GlobalKeyGrabber::create(QObject* parent, QString*)
{
    return new HotKeyGrabber(parent);
}

HotKeyGrabber::HotKeyGrabber(QObject* parent) : GlobalKeyGrabber(parent)
{
    m_watch.setInterval(kHeldCheckMs);
    connect(&m_watch, &QTimer::timeout, this, &HotKeyGrabber::watchHeld);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

HotKeyGrabber::~HotKeyGrabber()
{
    QCoreApplication::instance()->removeNativeEventFilter(this);
    releaseAll();
}

bool HotKeyGrabber::grab(int id, const QKeySequence& keys, QString* error)
{
    const int combined = keys.isEmpty() ? 0 : keys[0];
    const unsigned virtualKey = virtualKeyOf(combined & ~Qt::KeyboardModifierMask);
    if (!virtualKey) {
        *error = tr("this keyboard has no such key");
        return false;
    }
    const int hotKey = kFirstHotKey + m_registered.size();
    if (!RegisterHotKey(nullptr, hotKey, modifiersOf(Qt::KeyboardModifiers(combined)),
                        virtualKey)) {
        const DWORD code = GetLastError();
        *error = code == ERROR_HOTKEY_ALREADY_REGISTERED
                     ? tr("another program holds it")
                     : tr("Windows refused it (error %1)").arg(code);
        return false;
    }
    m_registered.insert(hotKey, Registration{id, virtualKey});
    return true;
}

void HotKeyGrabber::releaseAll()
{
    m_watch.stop();
    const QHash<int, unsigned> held = m_held;
    m_held.clear();
    for (auto it = held.cbegin(); it != held.cend(); ++it) {
        emit released(it.key());
    }
    for (auto it = m_registered.cbegin(); it != m_registered.cend(); ++it) {
        UnregisterHotKey(nullptr, it.key());
    }
    m_registered.clear();
}

bool HotKeyGrabber::nativeEventFilter(const QByteArray& eventType, void* message, long*)
{
    if (eventType != "windows_generic_MSG") {
        return false;
    }
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message != WM_HOTKEY || msg->hwnd != nullptr ||
        !m_registered.contains(int(msg->wParam))) {
        return false;
    }
    const Registration registration = m_registered.value(int(msg->wParam));
    if (!m_held.contains(registration.id)) {
        m_held.insert(registration.id, registration.virtualKey);
        emit pressed(registration.id);
        m_watch.start();
    }
    return true;
}

void HotKeyGrabber::watchHeld()
{
    for (auto it = m_held.begin(); it != m_held.end();) {
        // The high bit: down now.
        if (GetAsyncKeyState(int(it.value())) & 0x8000) {
            ++it;
            continue;
        }
        const int id = it.key();
        it = m_held.erase(it);
        emit released(id);
    }
    if (m_held.isEmpty()) {
        m_watch.stop();
    }
}
