#include "messagewindow.h"

#include <utility>

MessageWindow::MessageWindow(const wchar_t* className, Handler handler)
    : m_handler(std::move(handler))
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &MessageWindow::procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = className;
    // A second window of the class finds it registered by the first.
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return;
    }
    m_window =
        CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this);
}

MessageWindow::~MessageWindow()
{
    if (m_window) {
        // The messages of its own destruction find no handler, whose owner
        // is going already.
        SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
        DestroyWindow(m_window);
    }
}

LRESULT CALLBACK MessageWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    const auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && self->m_handler && self->m_handler(message, wParam, lParam)) {
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
