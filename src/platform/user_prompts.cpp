#include "platform/user_prompts.h"

#include "platform/system_library.h"

#include <commdlg.h>

namespace Velmor {
namespace {
PromptResponder* gResponder = nullptr;
}

void setPromptResponder(PromptResponder* responder) noexcept { gResponder = responder; }

int showMessageBox(HWND owner, std::wstring_view text, std::wstring_view caption, UINT type)
{
    if (gResponder) return gResponder->answerMessageBox(owner, text, caption, type);
    const std::wstring textCopy(text);
    const std::wstring captionCopy(caption);
    return ::MessageBoxW(owner, textCopy.c_str(), captionCopy.c_str(), type);
}

std::optional<std::wstring> askSaveFilePath(const SaveFileRequest& request)
{
    if (gResponder) return gResponder->answerSaveFile(request);

    // The filter is a sequence of zero-terminated description/pattern pairs
    // ended by one more zero.
    std::wstring filter;
    for (const SaveFileFilter& entry : request.filters) {
        filter += entry.description;
        filter.push_back(L'\0');
        filter += entry.pattern;
        filter.push_back(L'\0');
    }
    filter.push_back(L'\0');

    wchar_t fileName[MAX_PATH] = {};
    request.initialName.copy(fileName, MAX_PATH - 1);

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = request.owner;
    dialog.lpstrFilter = filter.c_str();
    dialog.lpstrFile = fileName;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = request.defaultExtension.empty() ? nullptr : request.defaultExtension.c_str();
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST;
    // The common dialog library is loaded with its first dialog and kept: an
    // import would load it, and the printing libraries it brings, into every
    // run for a dialog few runs open.
    static const UniqueModule library(loadSystemLibrary(L"comdlg32.dll"));
    using GetSaveFileNameFunction = BOOL(WINAPI*)(OPENFILENAMEW*);
    const auto getSaveFileName = libraryFunction<GetSaveFileNameFunction>(library.get(), "GetSaveFileNameW");
    if (!getSaveFileName || !getSaveFileName(&dialog)) return std::nullopt;
    return std::wstring(fileName);
}

int trackPopupMenuAtCursor(HWND owner, HMENU menu)
{
    if (gResponder) return gResponder->answerPopupMenu(owner, menu);
    POINT cursor = {};
    ::GetCursorPos(&cursor);
    return static_cast<int>(
        ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, owner, nullptr));
}

void playBeep(UINT type)
{
    if (gResponder) {
        gResponder->notifyBeep(type);
        return;
    }
    ::MessageBeep(type);
}

void flashUntilForeground(HWND window)
{
    if (gResponder) {
        gResponder->notifyFlash(window);
        return;
    }
    FLASHWINFO flash = {};
    flash.cbSize = sizeof(flash);
    flash.hwnd = window;
    flash.dwFlags = FLASHW_TRAY | FLASHW_TIMERNOFG;
    flash.uCount = 3;
    flash.dwTimeout = 0;
    ::FlashWindowEx(&flash);
}

}  // namespace Velmor
