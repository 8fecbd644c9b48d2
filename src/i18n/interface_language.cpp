// Re-applies the interface language to the main window's native controls.
#include "i18n/interface_language.h"

#include "app/workspace_navigation.h"
#include "i18n/localize.h"
#include "platform/unique_handle.h"
#include "session/client_state.h"
#include "ui/control_ids.h"

#include <commctrl.h>

#include <algorithm>
#include <initializer_list>
#include <string>

namespace Velmor {
namespace {

constexpr wchar_t kMainWindowCaption[] = L"Velmor Chat — Studio";

void setControlText(HWND mainWindow, int id, const std::wstring& text)
{
    if (const HWND control = ::GetDlgItem(mainWindow, id)) ::SetWindowTextW(control, text.c_str());
}

void setLocalizedText(HWND mainWindow, int id, const wchar_t* source)
{
    setControlText(mainWindow, id, localize(source));
}

// Replaces a combo box's items with the localised `items` and selects
// `selection`.
void refillComboBox(HWND comboBox, std::initializer_list<const wchar_t*> items, int selection)
{
    ::SendMessageW(comboBox, CB_RESETCONTENT, 0, 0);
    for (const wchar_t* item : items) {
        const std::wstring text = localize(item);
        ::SendMessageW(comboBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    ::SendMessageW(comboBox, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
}

}  // namespace

void applyInterfaceLanguage(HWND mainWindow)
{
    if (!mainWindow) return;
    ClientState& state = clientState();

    ::SetWindowTextW(mainWindow, kMainWindowCaption);
    setLocalizedText(mainWindow, idProductHeaderLabel, L"VELMOR CHAT   •   STUDIO");
    setLocalizedText(mainWindow, idUsernameLabel, L"Username");
    setLocalizedText(mainWindow, idConnectButton, L"Connect");
    setLocalizedText(mainWindow, idConnectionStatusLabel,
                     state.connected.load() ? L"Connected · live sync active" : L"Offline · waiting for login");
    setLocalizedText(mainWindow, idRoomLabel, L"Room");
    setLocalizedText(mainWindow, idGameLabel, L"Game");
    setLocalizedText(mainWindow, idCreateRoomButton, L"Create room");
    setLocalizedText(mainWindow, idRefreshButton, L"Refresh");
    setLocalizedText(mainWindow, idJoinRoomButton, L"Join room");
    setLocalizedText(mainWindow, idRoomChatLabel, L"ROOM CHAT  /  CLICK A PLAYER FOR ACTIONS");
    setLocalizedText(mainWindow, idSendButton, L"Send");
    setLocalizedText(mainWindow, idLeaveRoomButton, L"Leave room");
    setControlText(mainWindow, idOnlineCountLabel, onlineCountText(state.onlineUsers.size()));
    setLocalizedText(mainWindow, idFriendsLabel, L"FRIENDS");
    setLocalizedText(mainWindow, idRecentLabel, L"RECENTLY ACTIVE  ·  LAST 20");
    setLocalizedText(mainWindow, idRoomsLabel, L"ROOMS");
    setLocalizedText(mainWindow, idRoomMembersLabel, L"ROOM MEMBERS");
    setLocalizedText(mainWindow, idAlertsNoteLabel,
                     L"Private-message alerts use a small desktop banner. You can keep the banner and turn off its "
                     L"sound below.");
    setLocalizedText(mainWindow, idNotificationSoundCheck, L"Play a soft sound when a private message arrives");
    setLocalizedText(mainWindow, idLanguageLabel, L"Language");

    if (const HWND languageCombo = ::GetDlgItem(mainWindow, idLanguageCombo)) {
        // Out-of-range values show English, so the box says English too.
        const int language = state.uiLanguage.load();
        const int selection = language >= uiLanguageEnglish && language <= uiLanguageSpanish ? language : 0;
        ::SendMessageW(languageCombo, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
    }

    setLocalizedText(mainWindow, idThemeLabel, L"Theme");
    if (const HWND themeCombo = ::GetDlgItem(mainWindow, idThemeCombo)) {
        refillComboBox(themeCombo, {L"Graphite Dark", L"Midnight Blue", L"Light Canvas"}, std::clamp(state.uiTheme, 0, 2));
    }

    setLocalizedText(mainWindow, idDiagnosticsPrivacyLabel,
                     L"Diagnostic output is privacy-safe: message bodies are never recorded.");
    setControlText(mainWindow, idLogSummaryLabel, L"");
    if (const HWND searchBox = ::GetDlgItem(mainWindow, idLogSearchBox)) {
        const std::wstring cue = localize(L"Search logs…");
        ::SendMessageW(searchBox, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(cue.c_str()));
    }
    setLocalizedText(mainWindow, idFollowTailCheck, L"Follow log tail");
    if (const HWND filterCombo = ::GetDlgItem(mainWindow, idLogFilterCombo)) {
        const LRESULT selected = ::SendMessageW(filterCombo, CB_GETCURSEL, 0, 0);
        const int keep = selected >= 0 && selected <= 2 ? static_cast<int>(selected) : 0;
        refillComboBox(filterCombo, {L"All events", L"Warnings and errors", L"Errors only"}, keep);
    }
    setLocalizedText(mainWindow, idCopyLogButton, L"Copy log");
    setLocalizedText(mainWindow, idExportLogButton, L"Export log");
    setLocalizedText(mainWindow, idClearLogButton, L"Clear log");
    setLocalizedText(mainWindow, idStatusBar,
                     L"READY  ·  F5 Refresh  ·  Ctrl+Shift+D Debug  ·  Ctrl+L Message  ·  Ctrl+K Navigate");

    // The workspace replaces the menu bar: a menu bar found here is detached,
    // then destroyed when its owner leaves the scope.
    if (UniqueMenu menuBar{::GetMenu(mainWindow)}) ::SetMenu(mainWindow, nullptr);
    selectWorkspacePage(mainWindow, state.activePage);
    if (const HWND statusBar = ::GetDlgItem(mainWindow, idStatusBar)) ::InvalidateRect(statusBar, nullptr, TRUE);
}

}  // namespace Velmor
