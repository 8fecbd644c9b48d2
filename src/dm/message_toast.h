// The desktop banner that announces an incoming direct message: above the
// lower-right corner of the work area, never activated, gone after 4.5
// seconds, by a click (which opens the conversation) or by a newer message.
// At most one exists. Interface thread only.
#pragma once

#include "ui/window_classes.h"

#include <windows.h>

#include <string>

namespace Velmor {

inline constexpr unsigned kToastLifetimeMs = 4500;

struct ToastState {
    HWND toastWindow = nullptr;  // the banner on screen
    std::wstring toastSender;    // the sender of the last announced message
    std::wstring toastTitle;     // "Private message from " (localised) + sender
    std::wstring toastBody;      // the message text
};

const ToastState& toastState();

// Beeps (when the notification sound is on), flashes the main window's
// taskbar button when the client is not in front, and shows the banner.
void showMessageToast(const std::wstring& sender, const std::wstring& text);

// The banner's screen rectangle for a work area at the given scale factor.
RECT toastRectangle(const RECT& workArea, double scale);

// Draws the banner into `dc` for a client rectangle at the given scale; the
// fonts are the caller's (either may be null: the device context's font).
void paintToast(HDC dc, const RECT& client, double scale, HFONT titleFont, HFONT bodyFont, const std::wstring& title,
                const std::wstring& body);

// Registers the banner's window class (redrawn whole on size changes, arrow
// cursor, no icon). Called once at start-up, before the conversation class.
bool registerToastWindowClass(HINSTANCE instance);

LRESULT CALLBACK toastWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace Velmor
