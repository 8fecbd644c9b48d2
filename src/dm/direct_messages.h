// Direct-message conversations: one top-level window per peer, in which the
// user sends one line at a time and waits up to 12 seconds for the server to
// acknowledge it. Incoming messages and acknowledgements arrive through the
// server event dispatcher. Nothing is stored: a closed window forgets its text.
// Interface thread only (the request-id counter is the one exception).
#pragma once

#include "ui/window_classes.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace Velmor {

inline constexpr wchar_t kDirectMessageFontProperty[] = L"VelmorDirectMessageFont";
inline constexpr unsigned kDirectMessageAckTimeoutMs = 12000;
inline constexpr std::size_t kDirectMessageTranscriptLimit = 100000;

// The record of one conversation window, owned by the window (its user data):
// made when the window is opened, freed by its final destroy message.
struct DirectMessageWindow {
    std::wstring peerName;  // exactly as given when the window was opened
    HWND window = nullptr;
    HWND transcriptBox = nullptr;  // 4101
    HWND inputBox = nullptr;       // 4102
    HWND sendButton = nullptr;     // 4103
    std::wstring transcriptText;   // lines ended by CR LF, at most 100000 characters
    std::wstring pendingText;      // the line awaiting acknowledgement
    std::string pendingRequestId;  // its request id (UTF-8)
    bool awaitingAck = false;
};

// Shows the conversation with `peerName`, creating its window when needed.
// Nothing for an empty name or the user's own name.
void openDirectMessage(const std::wstring& peerName, bool bringToFront);

// "Message privately...": refuses a player blocked on the server with a box,
// otherwise opens the conversation in front.
void openDirectMessageFromPlayer(const std::wstring& peerName);

// Appends one line to the peer's conversation, opening its window (not in
// front) when it is not open.
void appendDirectMessageLine(const std::wstring& peerName, const std::wstring& line);

// The Send command of one window.
void sendDirectMessage(DirectMessageWindow& conversation);

// The server's "dm_sent" for `to`; `requestId` may be empty.
void acknowledgeDirectMessage(const std::wstring& to, const std::wstring& text, const std::string& requestId);

// A server "error" naming `to`: a window waiting for another request id is
// left alone; otherwise its send fails with `message`.
void failDirectMessage(const std::wstring& to, const std::string& requestId, const std::wstring& message);

// The acknowledgement timer of a window fired: a line still waiting gives up,
// keeping its text in the input box for another try.
void expireDirectMessage(DirectMessageWindow& conversation);

// "dm-1", "dm-2", ...: one id per sent line, never reused within a run. Any
// thread.
std::string nextDirectMessageRequestId();

// The record attached to a conversation window, or null.
DirectMessageWindow* directMessageRecord(HWND window);

// The open conversation window of a peer (exact name), or null.
HWND directMessageWindowOf(const std::wstring& peerName);

// Creates a conversation window (with its children, hidden, no record yet);
// null when the platform refuses.
HWND createDirectMessageWindow(const std::wstring& peerName);

// Registers the conversation window class (arrow cursor, application icon,
// theme background). Called once at start-up.
bool registerDirectMessageWindowClass(HINSTANCE instance);

LRESULT CALLBACK directMessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Gives the window a fresh 16-pixel font for its DPI (kept in the window
// property "VelmorDirectMessageFont") and hands it to the three children; the
// font it replaces is deleted. Without a new font the children keep the
// previous one, or get the shared interface font.
void applyDirectMessageFont(HWND window);

// Where the three children go for a client area of width x height pixels at
// the given scale factor.
struct ChildBounds {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const ChildBounds&) const = default;
};
struct DirectMessageLayout {
    ChildBounds transcript;
    ChildBounds input;
    ChildBounds send;
};
DirectMessageLayout directMessageLayout(int width, int height, double scale);

}  // namespace Velmor
