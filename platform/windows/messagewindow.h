#pragma once

#include <functional>

#include <windows.h>

// A message-only window (HWND_MESSAGE) of a class of its own, on the thread
// that makes it. Windows tells a process of the machine's power and of
// devices only through a window, and this one is never shown, never
// enumerated among the desktop's windows and gets no broadcasts it did not
// ask for. Qt's event dispatcher pumps the thread's messages, so what is
// posted to it arrives in the event loop, and what is sent arrives at once.
class MessageWindow
{
public:
    // Given every message; true when it was handled (the window answers TRUE).
    using Handler = std::function<bool(UINT message, WPARAM wParam, LPARAM lParam)>;

    MessageWindow(const wchar_t* className, Handler handler);
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    // Null when the window could not be made.
    HWND handle() const { return m_window; }

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    Handler m_handler;
    HWND m_window = nullptr;
};
