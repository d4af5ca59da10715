#include "powerbroadcastwatcher.h"

#include "messagewindow.h"

namespace {

// Looked up, not linked: a Windows without them still starts the program,
// only without word of resume.
using RegisterSuspendResume = void*(WINAPI*)(HANDLE recipient, DWORD flags);
using UnregisterSuspendResume = BOOL(WINAPI*)(void* registration);

template <typename Function> Function user32Function(const char* name)
{
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

} // namespace

PowerBroadcastWatcher::PowerBroadcastWatcher(QObject* parent)
    : SystemResumeNotifier(parent),
      m_window(std::make_unique<MessageWindow>(L"LumoraPowerBroadcast",
                                               [this](UINT message, WPARAM event, LPARAM) {
                                                   if (message != WM_POWERBROADCAST) {
                                                       return false;
                                                   }
                                                   if (event == PBT_APMRESUMEAUTOMATIC) {
                                                       emit resumed();
                                                   }
                                                   return true;
                                               }))
{
    const auto registerFor =
        user32Function<RegisterSuspendResume>("RegisterSuspendResumeNotification");
    if (m_window->handle() && registerFor) {
        m_registration = registerFor(m_window->handle(), DEVICE_NOTIFY_WINDOW_HANDLE);
    }
}

PowerBroadcastWatcher::~PowerBroadcastWatcher()
{
    const auto unregister =
        user32Function<UnregisterSuspendResume>("UnregisterSuspendResumeNotification");
    if (m_registration && unregister) {
        unregister(m_registration);
    }
}
