// The process entry point's body and the main window: start-up in order, the
// message loop, the window procedure that is the hub of the interface thread
// (worker messages, every command, the frame timer) and the ordered shutdown.
#pragma once

#include "ui/window_classes.h"

#include <windows.h>

namespace Velmor {

inline constexpr wchar_t kMainWindowTitle[] = L"Velmor Chat \u2014 Studio";
inline constexpr int kApplicationIconId = 101;

// Start-up, message loop and shutdown; returns the process exit code (the
// quit message's wParam, or 1 after a start-up failure).
int runApplication(HINSTANCE instance, int showCommand);

// The two halves of runApplication: start-up up to the shown main window
// (nullptr after a failure, already reported to the user), and the message
// loop with the accelerators until the window is gone. However the loop
// ends, the session is stopped and the main window destroyed before it
// returns.
HWND startApplication(HINSTANCE instance, int showCommand);
int runMessageLoop();

// The main window's shortcuts (Ctrl+Shift+D, F5, Ctrl+L, Ctrl+K), whichever
// window of the interface thread has the keyboard: true when `message` was
// one and its command has run.
bool translateMainWindowAccelerator(MSG& message);

// Registers the banner's, the conversations' and the main window's classes
// (the theme brushes must exist); false when the main class failed.
bool registerWindowClasses(HINSTANCE instance);

// Draws one frame of the main window now, as the frame timer does.
void renderMainWindowFrame();

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Runs the main window's command `id` (as WM_COMMAND would, notification 0).
void runMainWindowCommand(HWND window, int id, int notification = 0);

// The quick-navigation pop-up menu (Ctrl+K).
void openQuickNavigation(HWND window);

}  // namespace Velmor
