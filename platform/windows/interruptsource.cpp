#include "interruptsource.h"

#include "interruptwatcher.h"

#include <QMetaObject>

#include <atomic>
#include <windows.h>

namespace {

std::atomic<InterruptWatcher*> g_watcher{nullptr};

BOOL WINAPI onConsoleEvent(DWORD event)
{
    InterruptWatcher* watcher = g_watcher.load();
    if (!watcher ||
        (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)) {
        return FALSE;
    }
    QMetaObject::invokeMethod(watcher, "noteInterrupt", Qt::QueuedConnection);
    return TRUE;
}

} // namespace

InterruptSource::InterruptSource(InterruptWatcher* watcher)
{
    g_watcher.store(watcher);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

InterruptSource::~InterruptSource()
{
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    g_watcher.store(nullptr);
}
