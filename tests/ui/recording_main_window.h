// A real top-level window standing in for the main window while the hidden
// controls are built or exercised: it measures roster rows as the main window
// does, records the commands (notification code 0), context-menu requests and
// player-menu requests that reach it, and is the main window while it lives.
// One at a time.
#pragma once

#include "platform/app_messages.h"
#include "support/test_window.h"
#include "ui/native_surface.h"

#include <windows.h>

#include <vector>

namespace VelmorTest {

class RecordingMainWindow {
public:
    RecordingMainWindow()
    {
        static const bool registered = [] {
            WNDCLASSEXW windowClass = {};
            windowClass.cbSize = sizeof(windowClass);
            windowClass.lpfnWndProc = &proc;
            windowClass.hInstance = ::GetModuleHandleW(nullptr);
            windowClass.lpszClassName = L"VelmorTestRecordingMainWindow";
            return ::RegisterClassExW(&windowClass) != 0;
        }();
        current() = this;
        if (registered) {
            window_ = ::CreateWindowExW(0, L"VelmorTestRecordingMainWindow", L"", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600,
                                        nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
        }
        Velmor::setMainWindowHandle(window_);
    }
    ~RecordingMainWindow()
    {
        Velmor::setMainWindowHandle(nullptr);
        pump();
        if (window_) ::DestroyWindow(window_);
        current() = nullptr;
    }
    RecordingMainWindow(const RecordingMainWindow&) = delete;
    RecordingMainWindow& operator=(const RecordingMainWindow&) = delete;

    HWND handle() const { return window_; }
    HWND child(int id) const { return ::GetDlgItem(window_, id); }
    HWND addChild(const wchar_t* className, DWORD style, int id) const
    {
        return ::CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 200, 200, window_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                                 nullptr);
    }
    static void pump() { TestMainWindow::pumpMessages(); }

    std::vector<int> commands;
    std::vector<int> menuRequests;
    int contextMenus = 0;

private:
    static RecordingMainWindow*& current()
    {
        static RecordingMainWindow* window = nullptr;
        return window;
    }
    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        RecordingMainWindow* self = current();
        switch (message) {
        case WM_MEASUREITEM:
            return Velmor::measureRosterListItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
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
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    HWND window_ = nullptr;
};

}  // namespace VelmorTest
