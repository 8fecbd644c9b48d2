// The main window's own messages and the payloads background threads post
// with them. A payload changes owner with a successful post: the window
// procedure frees it; when the post fails, the poster frees it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace Velmor {

enum AppMessage : UINT {
    statusUpdate = WM_APP + 10,       // lParam: StatusUpdatePayload*
    serverText = WM_APP + 11,         // lParam: ServerMessage* (one whole message, read)
    playerMenuRequest = WM_APP + 13,  // wParam: control id of a roster list box
    logChanged = WM_APP + 14,         // no payload
};

struct StatusUpdatePayload {
    std::wstring text;
    bool ok = false;
};

// The main window, once it exists; null before creation and after destruction.
// Any thread may read it to post; only the interface thread sets it.
HWND mainWindowHandle() noexcept;
void setMainWindowHandle(HWND window) noexcept;

// Posts `message` to the main window with `payload` as lParam. On success the
// window owns the payload; otherwise it is freed here. False when there is no
// main window or the post failed.
template <typename Payload>
bool postToMainWindow(UINT message, std::unique_ptr<Payload> payload, WPARAM wParam = 0)
{
    const HWND window = mainWindowHandle();
    if (!window) return false;
    if (!::PostMessageW(window, message, wParam, reinterpret_cast<LPARAM>(payload.get()))) return false;
    payload.release();
    return true;
}

// Posts a message without payload to the main window, if it exists.
bool postToMainWindow(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) noexcept;

// Takes ownership of a payload received with one of the messages above.
template <typename Payload>
std::unique_ptr<Payload> adoptPayload(LPARAM lParam) noexcept
{
    return std::unique_ptr<Payload>(reinterpret_cast<Payload*>(lParam));
}

}  // namespace Velmor
