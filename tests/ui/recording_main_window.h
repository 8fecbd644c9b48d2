// A real top-level window standing in for the main window while the hidden
// controls are built or exercised: it measures roster rows as the main window
// does, records the commands, context-menu requests and player-menu requests
// that reach it, and is published as the main window while it lives.
#pragma once

#include <windows.h>

#include <vector>

namespace VelmorTest {

class RecordingMainWindow {
public:
    RecordingMainWindow();
    ~RecordingMainWindow();
    RecordingMainWindow(const RecordingMainWindow&) = delete;
    RecordingMainWindow& operator=(const RecordingMainWindow&) = delete;

    HWND handle() const { return window_; }
    HWND child(int id) const { return ::GetDlgItem(window_, id); }
    // A visible child control of the given class, style and id, 200 x 200.
    HWND addChild(const wchar_t* className, DWORD style, int id) const;

    // Handles every waiting message of this thread, with TranslateMessage.
    static void pump();

    std::vector<int> commands;      // WM_COMMAND ids with notification code 0
    std::vector<int> menuRequests;  // playerMenuRequest control ids
    int contextMenus = 0;           // WM_CONTEXTMENU that reached the window

private:
    static LRESULT CALLBACK proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window_ = nullptr;
};

}  // namespace VelmorTest
