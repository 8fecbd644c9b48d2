// Everything that waits on a person, makes a sound or flashes a window goes
// through here, so that tests can answer instead of a person. Without a
// responder installed, the real platform functions run.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Velmor {

struct SaveFileFilter {
    std::wstring description;  // e.g. "Log files (*.log)"
    std::wstring pattern;      // e.g. "*.log"
};

struct SaveFileRequest {
    HWND owner = nullptr;
    std::wstring initialName;
    std::vector<SaveFileFilter> filters;
    std::wstring defaultExtension;
};

// Test seam: a responder answers prompts in place of a person.
class PromptResponder {
public:
    virtual ~PromptResponder() = default;
    virtual int answerMessageBox(HWND owner, std::wstring_view text, std::wstring_view caption, UINT type) = 0;
    virtual std::optional<std::wstring> answerSaveFile(const SaveFileRequest& request) = 0;
    virtual void notifyBeep(UINT type) = 0;
    virtual void notifyFlash(HWND window) = 0;
    // The command chosen from a pop-up menu (0 for none); the menu can be
    // inspected with GetMenuItemCount / GetMenuStringW.
    virtual int answerPopupMenu(HWND owner, HMENU menu) = 0;
};

// Installs a responder (nullptr restores the real platform). Interface thread.
void setPromptResponder(PromptResponder* responder) noexcept;

// MessageBoxW; returns the button pressed (IDYES, IDOK, ...).
int showMessageBox(HWND owner, std::wstring_view text, std::wstring_view caption, UINT type);

// The common save dialog (OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST); the chosen
// path, or nothing when cancelled.
std::optional<std::wstring> askSaveFilePath(const SaveFileRequest& request);

// Shows a pop-up menu at the cursor position, owned by `owner`, and returns
// the chosen command (0 when none): TPM_RETURNCMD | TPM_RIGHTBUTTON.
int trackPopupMenuAtCursor(HWND owner, HMENU menu);

// MessageBeep.
void playBeep(UINT type);

// Flashes the window's taskbar button until it comes to the foreground
// (FLASHW_TRAY | FLASHW_TIMERNOFG, three times, default rate).
void flashUntilForeground(HWND window);

}  // namespace Velmor
