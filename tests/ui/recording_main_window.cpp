#include "recording_main_window.h"

#include "platform/app_messages.h"
#include "ui/native_surface.h"

namespace VelmorTest {
namespace {
constexpr wchar_t kClassName[] = L"VelmorTestRecordingMainWindow";
}

RecordingMainWindow::RecordingMainWindow()
{
    static const bool registered = [] {
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = &proc;
        windowClass.hInstance = ::GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        return ::RegisterClassExW(&windowClass) != 0;
    }();
    if (!registered) return;
    window_ = ::CreateWindowExW(0, kClassName, L"", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 800, 600, nullptr,
                                nullptr, ::GetModuleHandleW(nullptr), this);
    Velmor::setMainWindowHandle(window_);
}

RecordingMainWindow::~RecordingMainWindow()
{
    Velmor::setMainWindowHandle(nullptr);
    pump();
    if (window_) ::DestroyWindow(window_);
}

HWND RecordingMainWindow::addChild(const wchar_t* className, DWORD style, int id) const
{
    return ::CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 200, 200, window_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
}

void RecordingMainWindow::pump()
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

LRESULT CALLBACK RecordingMainWindow::proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<RecordingMainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_MEASUREITEM:
        return Velmor::measureRosterListItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)) ? TRUE : FALSE;
    case WM_COMMAND:
        if (self && HIWORD(wParam) == 0) self->commands.push_back(LOWORD(wParam));
        return 0;
    case WM_CONTEXTMENU:
        if (self) ++self->contextMenus;
        return 0;
    case Velmor::playerMenuRequest:
        if (self) self->menuRequests.push_back(static_cast<int>(wParam));
        return 0;
    case Velmor::statusUpdate:
        Velmor::adoptPayload<Velmor::StatusUpdatePayload>(lParam);
        return 0;
    case Velmor::serverText:
        Velmor::adoptPayload<std::string>(lParam);
        return 0;
    case WM_NCDESTROY:
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace VelmorTest
