// Building the main window's hidden native controls, the shared fonts, and
// refilling the roster list boxes.
#include "ui/native_surface.h"

#include "app/workspace_navigation.h"
#include "diagnostics/diagnostic_log.h"
#include "i18n/interface_language.h"
#include "i18n/localize.h"
#include "platform/app_messages.h"
#include "platform/unique_handle.h"
#include "session/client_state.h"
#include "settings/settings_store.h"
#include "ui/control_ids.h"
#include "ui/roster_list_box.h"
#include "ui/theme.h"

#include <commctrl.h>

#include <string>

namespace Velmor {
namespace {

struct SurfaceFonts {
    UniqueFont interfaceFont;
    UniqueFont titleFont;
    UniqueFont consoleFont;
};

SurfaceFonts& surfaceFonts()
{
    static SurfaceFonts fonts;
    return fonts;
}

HFONT stockGuiFont()
{
    return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
}

HFONT createFont(const wchar_t* face, int height, int weight, DWORD pitchAndFamily)
{
    return ::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, pitchAndFamily, face);
}

HFONT fontOrStock(const UniqueFont& font)
{
    return font ? font.get() : stockGuiFont();
}

constexpr DWORD kListBoxStyle = WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_OWNERDRAWFIXED |
                                LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT;
constexpr DWORD kReadOnlyBoxStyle =
    WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | ES_NOHIDESEL;
constexpr DWORD kComboStyle = WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST;

struct ControlSpec {
    int id;
    const wchar_t* className;
    DWORD style;
    const wchar_t* text;  // nullptr: none
    bool localised;
    int width = 10;
    int height = 10;
};

// In creation order; every control is WS_CHILD | WS_VISIBLE at (0, 0).
const ControlSpec kControls[] = {
    {idProductHeaderLabel, L"STATIC", 0, L"VELMOR CHAT   •   STUDIO", true},
    {idUsernameLabel, L"STATIC", 0, L"Username", true},
    {idUserNameBox, L"EDIT", WS_BORDER | ES_AUTOHSCROLL, L"", false},
    {idConnectButton, L"BUTTON", BS_OWNERDRAW, L"Connect", true},
    {idConnectionStatusLabel, L"STATIC", 0, L"Offline · waiting for login", false},
    {idPageTitleLabel, L"STATIC", 0, L"Room chat", true},
    {idNavRoomChat, L"BUTTON", WS_TABSTOP | BS_OWNERDRAW, L"", false},
    {idNavPeople, L"BUTTON", WS_TABSTOP | BS_OWNERDRAW, L"", false},
    {idNavFriends, L"BUTTON", WS_TABSTOP | BS_OWNERDRAW, L"", false},
    {idNavRecent, L"BUTTON", WS_TABSTOP | BS_OWNERDRAW, L"", false},
    {idNavRooms, L"BUTTON", WS_TABSTOP | BS_OWNERDRAW, L"", false},
    {idNavSettings, L"BUTTON", WS_TABSTOP | BS_OWNERDRAW, L"", false},
    {idNavDiagnostics, L"BUTTON", WS_TABSTOP | BS_OWNERDRAW, L"", false},
    {idRoomLabel, L"STATIC", 0, L"Room", true},
    {idRoomNameBox, L"EDIT", WS_BORDER | ES_AUTOHSCROLL, L"", false},
    {idGameLabel, L"STATIC", 0, L"Game", true},
    {idGameBox, L"EDIT", WS_BORDER | ES_AUTOHSCROLL, kDefaultGameTitle, false},
    {idCreateRoomButton, L"BUTTON", BS_OWNERDRAW, L"Create room", true},
    {idRefreshButton, L"BUTTON", BS_OWNERDRAW, L"Refresh", true},
    {idJoinRoomButton, L"BUTTON", BS_OWNERDRAW, L"Join room", true},
    {idRoomChatLabel, L"STATIC", 0, L"ROOM CHAT  /  CLICK A PLAYER FOR ACTIONS", true},
    {idTranscriptBox, L"EDIT", kReadOnlyBoxStyle, L"", false},
    {idRoomMessageBox, L"EDIT", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, L"", false},
    {idSendButton, L"BUTTON", BS_OWNERDRAW, L"Send", true},
    {idLeaveRoomButton, L"BUTTON", BS_OWNERDRAW, L"Leave room", true},
    {idOnlineCountLabel, L"STATIC", 0, L"ONLINE NOW  ·  0", true},
    {idOnlineUsersList, L"LISTBOX", kListBoxStyle, nullptr, false},
    {idFriendsLabel, L"STATIC", 0, L"FRIENDS", true},
    {idAddFriendButton, L"BUTTON", BS_OWNERDRAW, L"+ Add", true},
    {idRemoveFriendButton, L"BUTTON", BS_OWNERDRAW, L"Remove", true},
    {idFriendsList, L"LISTBOX", kListBoxStyle, nullptr, false},
    {idRecentLabel, L"STATIC", 0, L"RECENTLY ACTIVE  ·  LAST 20", true},
    {idManageBlockedButton, L"BUTTON", BS_OWNERDRAW, L"Manage blocked", true},
    {idRecentUsersList, L"LISTBOX", kListBoxStyle, nullptr, false},
    {idAlertsNoteLabel, L"STATIC", SS_NOPREFIX,
     L"Private-message alerts use a small desktop banner. You can keep the banner and turn off its sound below.", true},
    {idNotificationSoundCheck, L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX,
     L"Play a soft sound when a private message arrives", true},
    {idLanguageLabel, L"STATIC", 0, L"Language", true},
    {idLanguageCombo, L"ComboBox", kComboStyle, nullptr, false, 210, 180},
    {idThemeLabel, L"STATIC", 0, L"Theme", true},
    {idThemeCombo, L"ComboBox", kComboStyle, nullptr, false, 230, 180},
    {idDiagnosticsPrivacyLabel, L"STATIC", 0,
     L"Diagnostic output is privacy-safe: message bodies are never recorded.", true},
    {idLogSummaryLabel, L"STATIC", SS_RIGHT, L"", false},
    {idLogSearchBox, L"EDIT", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, L"", false},
    {idLogFilterCombo, L"ComboBox", kComboStyle, nullptr, false},
    {idFollowTailCheck, L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, L"Follow log tail", true},
    {idCopyLogButton, L"BUTTON", WS_TABSTOP | BS_OWNERDRAW, L"Copy log", true},
    {idExportLogButton, L"BUTTON", WS_TABSTOP | BS_OWNERDRAW, L"Export log", true},
    {idClearLogButton, L"BUTTON", WS_TABSTOP | BS_OWNERDRAW, L"Clear log", true},
    {idLogViewBox, L"EDIT", kReadOnlyBoxStyle | WS_HSCROLL, L"", false},
    {idStatusBar, L"STATIC", 0, L"READY  ·  F5 Refresh  ·  Ctrl+Shift+D Debug  ·  Ctrl+L Message", false},
    {idRoomsLabel, L"STATIC", 0, L"ROOMS", true},
    {idRoomMembersLabel, L"STATIC", 0, L"ROOM MEMBERS", true},
    {idRoomMembersList, L"LISTBOX", kListBoxStyle, nullptr, false},
};

constexpr const wchar_t* kLanguageNames[] = {L"English", L"العربية", L"Français", L"Español"};
constexpr const wchar_t* kLogFilterNames[] = {L"All events", L"Warnings and errors", L"Errors only"};

struct RoomColumn {
    const wchar_t* title;
    int width;
};
constexpr RoomColumn kRoomColumns[] = {{L"Room", 100}, {L"Game", 90}, {L"Players", 56}, {L"Host", 120}};

constexpr int kUserNameLimit = 64;
constexpr int kLogViewLimit = 500000;

HWND createChild(HWND parent, const wchar_t* className, DWORD style, const std::wstring& text, int id, int width,
                 int height)
{
    return ::CreateWindowExW(0, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, width, height, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                             nullptr);
}

void setFont(HWND control, HFONT font)
{
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void addComboItems(HWND combo, std::initializer_list<std::wstring> items, int selection)
{
    for (const std::wstring& item : items) {
        ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
}

// What each control needs right after it exists.
void finishControl(HWND mainWindow, HWND control, int id)
{
    ClientState& state = clientState();
    switch (id) {
    case idUserNameBox:
        ::SendMessageW(control, EM_LIMITTEXT, kUserNameLimit, 0);
        break;
    case idRoomMessageBox:
        installRoomMessageSubclass(control);
        break;
    case idNotificationSoundCheck:
        ::SendMessageW(control, BM_SETCHECK, state.notificationSound ? BST_CHECKED : BST_UNCHECKED, 0);
        break;
    // Both boxes show what is in effect: an out-of-range value means English
    // and Graphite Dark everywhere else.
    case idLanguageCombo: {
        const int language = state.uiLanguage.load();
        addComboItems(control, {kLanguageNames[0], kLanguageNames[1], kLanguageNames[2], kLanguageNames[3]},
                      language >= 0 && language <= 3 ? language : 0);
        break;
    }
    case idThemeCombo:
        addComboItems(control, {themeName(0), themeName(1), themeName(2)}, normalizedTheme(state.uiTheme));
        break;
    case idLogSearchBox:
        ::SendMessageW(control, EM_SETCUEBANNER, TRUE,
                       reinterpret_cast<LPARAM>(std::wstring(localize(L"Search logs…")).c_str()));
        break;
    case idFollowTailCheck:
        ::SendMessageW(control, BM_SETCHECK, BST_CHECKED, 0);
        if (const HWND filter = ::GetDlgItem(mainWindow, idLogFilterCombo)) {
            addComboItems(filter,
                          {std::wstring(localize(kLogFilterNames[0])), std::wstring(localize(kLogFilterNames[1])),
                           std::wstring(localize(kLogFilterNames[2]))},
                          0);
        }
        break;
    case idLogViewBox:
        ::SendMessageW(control, EM_LIMITTEXT, kLogViewLimit, 0);
        surfaceFonts().consoleFont.reset(createFont(L"Consolas", -14, FW_NORMAL, FIXED_PITCH | FF_MODERN));
        setFont(control, consoleFont());
        break;
    case idProductHeaderLabel:
    case idPageTitleLabel:
        setFont(control, titleFont());
        break;
    default:
        break;
    }
}

void createRoomListView(HWND mainWindow)
{
    const HWND listView =
        createChild(mainWindow, WC_LISTVIEWW, LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, L"",
                    idRoomListView, 10, 10);
    if (!listView) return;
    setFont(listView, interfaceFont());
    const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER;
    ::SendMessageW(listView, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    ::SendMessageW(listView, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(paletteColor(5)));
    ::SendMessageW(listView, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(paletteColor(5)));
    ::SendMessageW(listView, LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(paletteColor(8)));
    int index = 0;
    for (const RoomColumn& column : kRoomColumns) {
        LVCOLUMNW info = {};
        info.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        info.pszText = const_cast<wchar_t*>(column.title);
        info.cx = column.width;
        info.iSubItem = index;
        ::SendMessageW(listView, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&info));
        ++index;
    }
}

void refreshRosterListBoxesOf(HWND mainWindow)
{
    if (!mainWindow) return;
    const ClientState& state = clientState();
    if (const HWND list = ::GetDlgItem(mainWindow, idOnlineUsersList)) fillRosterListBox(list, state.onlineUsers);
    if (const HWND list = ::GetDlgItem(mainWindow, idFriendsList)) fillRosterListBox(list, state.friends);
    if (const HWND list = ::GetDlgItem(mainWindow, idRecentUsersList)) fillRosterListBox(list, state.recentUsers);
    if (const HWND label = ::GetDlgItem(mainWindow, idOnlineCountLabel)) {
        ::SetWindowTextW(label, std::wstring(onlineCountText(state.onlineUsers.size())).c_str());
    }
}

}  // namespace

HFONT interfaceFont()
{
    return fontOrStock(surfaceFonts().interfaceFont);
}

HFONT titleFont()
{
    return fontOrStock(surfaceFonts().titleFont);
}

HFONT consoleFont()
{
    return fontOrStock(surfaceFonts().consoleFont);
}

void deleteSurfaceFonts()
{
    // Only fonts created here are owned; the stock stand-in never is.
    surfaceFonts().interfaceFont.reset();
    surfaceFonts().titleFont.reset();
    surfaceFonts().consoleFont.reset();
}

void buildNativeSurface(HWND mainWindow)
{
    if (!mainWindow) return;
    ClientState& state = clientState();
    state.uiLanguage = SettingsStore::loadUiLanguage();

    surfaceFonts().interfaceFont.reset(createFont(L"Segoe UI", -16, FW_NORMAL, DEFAULT_PITCH));
    surfaceFonts().titleFont.reset(createFont(L"Segoe UI", -21, FW_BOLD, DEFAULT_PITCH));

    for (const ControlSpec& spec : kControls) {
        if (spec.id == idNotificationSoundCheck) state.notificationSound = SettingsStore::loadNotificationSound();
        const std::wstring text = !spec.text ? std::wstring()
                                  : spec.localised ? std::wstring(localize(spec.text))
                                                   : std::wstring(spec.text);
        const HWND control = createChild(mainWindow, spec.className, spec.style, text, spec.id, spec.width, spec.height);
        if (!control) continue;  // left out; every use checks that a control exists
        setFont(control, interfaceFont());
        finishControl(mainWindow, control, spec.id);
    }

    for (const int id : {idOnlineUsersList, idFriendsList, idRecentUsersList, idRoomMembersList}) {
        if (const HWND list = ::GetDlgItem(mainWindow, id)) installRosterListSubclass(list);
    }
    createRoomListView(mainWindow);

    state.friends = SettingsStore::loadStoredList(L"Friends", SettingsStore::kFriendsCap);
    state.recentUsers = SettingsStore::loadStoredList(L"RecentUsers", SettingsStore::kRecentUsersCap);
    state.blockedUsers = SettingsStore::loadStoredList(L"BlockedUsers", SettingsStore::kBlockedUsersCap);

    DiagnosticLog::loadPrevious();
    applyInterfaceLanguage(mainWindow);
    refreshRosterListBoxesOf(mainWindow);
    DiagnosticLog::write(kLevelInfo, L"Application started");
    selectWorkspacePage(mainWindow, pageRoomChat);
}

void refreshRosterListBoxes()
{
    refreshRosterListBoxesOf(mainWindowHandle());
}

}  // namespace Velmor
