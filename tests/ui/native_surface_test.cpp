// Building the hidden native controls on a real top-level window, with the
// registry of a fresh prefix and the log file in a temporary folder.
#include "ui/native_surface.h"

#include "diagnostics/diagnostic_log.h"
#include "i18n/localize.h"
#include "recording_main_window.h"
#include "session/client_state.h"
#include "settings/settings_store.h"
#include "support/common_controls.h"
#include "support/control_text.h"
#include "support/registry.h"
#include "support/temp_dir.h"
#include "ui/control_ids.h"
#include "ui/theme.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

namespace {

using namespace Velmor;
using VelmorTest::RecordingMainWindow;
using VelmorTest::windowText;

std::unique_ptr<VelmorTest::TempDir> gLogFolder;

std::filesystem::path logFile() { return gLogFolder->path() / L"VelmorChat" / L"Logs" / L"client.log"; }

int logLines(const std::string& line)
{
    std::stringstream content;
    content << std::ifstream(logFile(), std::ios::binary).rdbuf();
    const std::string text = content.str();
    int count = 0;
    for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++count;
    return count;
}

DWORD storedDword(const wchar_t* name)
{
    DWORD type = 0, value = 99;
    std::vector<unsigned char> data;
    if (VelmorTest::readRawValue(name, type, data) && type == REG_DWORD && data.size() == sizeof(value)) {
        std::memcpy(&value, data.data(), sizeof(value));
    }
    return value;
}

LRESULT send(HWND control, UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
{
    return ::SendMessageW(control, message, wParam, lParam);
}

class NativeSurfaceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The log file path is fixed on first use: a fresh folder holding a previous run's log.
        gLogFolder = std::make_unique<VelmorTest::TempDir>();
        std::filesystem::create_directories(logFile().parent_path());
        std::ofstream(logFile(), std::ios::binary) << "09:15:00.000 [WARN] left over from the previous run\r\n";
        ::SetEnvironmentVariableW(L"LOCALAPPDATA", gLogFolder->str().c_str());
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
        ::InitCommonControlsEx(&controls);
    }
    void SetUp() override
    {
        // The client's manifest asks for version 6 of the common controls.
        ASSERT_TRUE(commonControls_.active());
        VelmorTest::deleteSettingsKey();
        ClientState& state = clientState();
        state.uiLanguage = 2;
        state.uiTheme = 0;
        state.activePage = pageRooms;
        state.onlineUsers.clear();
        createThemeBrushes();
    }
    void TearDown() override
    {
        deleteSurfaceFonts();
        deleteThemeBrushes();
        clientState().uiLanguage = 0;
        VelmorTest::deleteSettingsKey();
    }

private:
    VelmorTest::CommonControlsV6Scope commonControls_;
};

// Controls adjust some of their own style bits once created, so the creation
// request itself is recorded and checked.
struct Creation {
    int id;
    DWORD style;
    int width, height;
};
std::vector<Creation> gCreations;
HWND gCreationParent = nullptr;

LRESULT CALLBACK recordCreation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTW& create = *reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
        if (create.hwndParent && create.hwndParent == gCreationParent) {
            gCreations.push_back(
                {static_cast<int>(reinterpret_cast<INT_PTR>(create.hMenu)), static_cast<DWORD>(create.style), create.cx, create.cy});
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

constexpr DWORD kList = WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS |
                        LBS_NOINTEGRALHEIGHT;
constexpr DWORD kTranscript = WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | ES_NOHIDESEL;
constexpr DWORD kCombo = WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST;
constexpr DWORD kNav = WS_TABSTOP | BS_OWNERDRAW;
constexpr DWORD kEntry = WS_BORDER | ES_AUTOHSCROLL;

// In creation order, with the text shown in English (nullptr: not checked).
const struct {
    int id;
    const wchar_t* className;
    DWORD style;
    const wchar_t* text;
} kExpected[] = {
    {2010, L"Static", 0, L"VELMOR CHAT   •   STUDIO"}, {2001, L"Static", 0, L"Username"},
    {1001, L"Edit", kEntry, L""}, {1002, L"Button", BS_OWNERDRAW, L"Connect"},
    {1003, L"Static", 0, L"Offline · waiting for login"}, {2011, L"Static", 0, L"Room chat"},
    {1021, L"Button", kNav, L""}, {1022, L"Button", kNav, L""}, {1023, L"Button", kNav, L""},
    {1024, L"Button", kNav, L""}, {1025, L"Button", kNav, L""}, {1026, L"Button", kNav, L""},
    {1028, L"Button", kNav, L""}, {2002, L"Static", 0, L"Room"}, {1004, L"Edit", kEntry, L""},
    {2003, L"Static", 0, L"Game"}, {1005, L"Edit", kEntry, L"Stronghold Crusader"},
    {1006, L"Button", BS_OWNERDRAW, L"Create room"}, {1007, L"Button", BS_OWNERDRAW, L"Refresh"},
    {1008, L"Button", BS_OWNERDRAW, L"Join room"}, {2004, L"Static", 0, L"ROOM CHAT  /  CLICK A PLAYER FOR ACTIONS"},
    {1010, L"Edit", kTranscript, L""}, {1011, L"Edit", WS_TABSTOP | kEntry, L""},
    {1012, L"Button", BS_OWNERDRAW, L"Send"}, {1014, L"Button", BS_OWNERDRAW, L"Leave room"},
    {2005, L"Static", 0, L"ONLINE NOW  ·  0"}, {1013, L"ListBox", kList, nullptr},
    {2006, L"Static", 0, L"FRIENDS"}, {1018, L"Button", BS_OWNERDRAW, L"+ Add"},
    {1019, L"Button", BS_OWNERDRAW, L"Remove"}, {1015, L"ListBox", kList, nullptr},
    {2007, L"Static", 0, L"RECENTLY ACTIVE  ·  LAST 20"}, {1020, L"Button", BS_OWNERDRAW, L"Manage blocked"},
    {1016, L"ListBox", kList, nullptr},
    {2012, L"Static", SS_NOPREFIX,
     L"Private-message alerts use a small desktop banner. You can keep the banner and turn off its sound below."},
    {1027, L"Button", WS_TABSTOP | BS_AUTOCHECKBOX, L"Play a soft sound when a private message arrives"},
    {2013, L"Static", 0, L"Language"}, {1034, L"ComboBox", kCombo, nullptr}, {2015, L"Static", 0, L"Theme"},
    {1037, L"ComboBox", kCombo, nullptr},
    {2014, L"Static", 0, L"Diagnostic output is privacy-safe: message bodies are never recorded."},
    {1039, L"Static", SS_RIGHT, L""}, {1036, L"Edit", WS_TABSTOP | kEntry, L""}, {1030, L"ComboBox", kCombo, nullptr},
    {1038, L"Button", WS_TABSTOP | BS_AUTOCHECKBOX, L"Follow log tail"}, {1031, L"Button", kNav, L"Copy log"},
    {1032, L"Button", kNav, L"Export log"}, {1033, L"Button", kNav, L"Clear log"},
    {1029, L"Edit", kTranscript | WS_HSCROLL, L""},
    {1035, L"Static", 0, L"READY  ·  F5 Refresh  ·  Ctrl+Shift+D Debug  ·  Ctrl+L Message  ·  Ctrl+K Navigate"},
    {2008, L"Static", 0, L"ROOMS"}, {2009, L"Static", 0, L"ROOM MEMBERS"}, {1017, L"ListBox", kList, nullptr},
    {1009, L"SysListView32", LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, nullptr},
};

TEST_F(NativeSurfaceTest, EveryControlInOrderWithItsClassStyleSizeAndEnglishText)
{
    RecordingMainWindow host;
    gCreations.clear();
    gCreationParent = host.handle();
    const HHOOK hook = ::SetWindowsHookExW(WH_CBT, &recordCreation, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    buildNativeSurface(host.handle());
    ::UnhookWindowsHookEx(hook);

    ASSERT_EQ(gCreations.size(), std::size(kExpected));
    for (std::size_t i = 0; i < gCreations.size(); ++i) {
        const auto& expected = kExpected[i];
        SCOPED_TRACE(expected.id);
        EXPECT_EQ(gCreations[i].id, expected.id) << "creation order";
        EXPECT_EQ(gCreations[i].style, WS_CHILD | WS_VISIBLE | expected.style);
        const int width = expected.id == idLanguageCombo ? 210 : expected.id == idThemeCombo ? 230 : 10;
        EXPECT_EQ(gCreations[i].width, width);
        EXPECT_EQ(gCreations[i].height, width == 10 ? 10 : 180);
        wchar_t className[32] = {};
        ::GetClassNameW(host.child(expected.id), className, 32);
        EXPECT_STREQ(className, expected.className);
        if (expected.text) {
            EXPECT_EQ(windowText(host.child(expected.id)), expected.text);
        }
    }

    EXPECT_EQ(send(host.child(idUserNameBox), EM_GETLIMITTEXT), 64);
    EXPECT_EQ(send(host.child(idLogViewBox), EM_GETLIMITTEXT), 500000);
    EXPECT_EQ(VelmorTest::comboBoxItems(host.child(idLanguageCombo)), L"English|العربية|Français|Español");
    EXPECT_EQ(VelmorTest::comboBoxItems(host.child(idThemeCombo)), L"Graphite Dark|Midnight Blue|Light Canvas");
    EXPECT_EQ(VelmorTest::comboBoxItems(host.child(idLogFilterCombo)), L"All events|Warnings and errors|Errors only");
    EXPECT_EQ(send(host.child(idLogFilterCombo), CB_GETCURSEL), 0);
    EXPECT_EQ(send(host.child(idFollowTailCheck), BM_GETCHECK), BST_CHECKED);
    EXPECT_EQ(send(host.child(idNotificationSoundCheck), BM_GETCHECK), BST_CHECKED) << "nothing stored: sound on";
    EXPECT_EQ(VelmorTest::cueBanner(host.child(idLogSearchBox)), L"Search logs…");
    for (const int id : {idOnlineUsersList, idFriendsList, idRecentUsersList, idRoomMembersList}) {
        EXPECT_EQ(send(host.child(id), LB_GETITEMHEIGHT), 27) << id;
    }

    const HWND listView = host.child(idRoomListView);
    const DWORD extended = LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER;
    EXPECT_EQ(send(listView, LVM_GETEXTENDEDLISTVIEWSTYLE) & extended, extended);
    const std::pair<const wchar_t*, int> columns[] = {{L"Room", 100}, {L"Game", 90}, {L"Players", 56}, {L"Host", 120}};
    for (int i = 0; i < 5; ++i) {
        wchar_t title[32] = {};
        LVCOLUMNW info = {};
        info.mask = LVCF_TEXT | LVCF_WIDTH;
        info.pszText = title;
        info.cchTextMax = 32;
        ASSERT_EQ(send(listView, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&info)) != 0, i < 4) << "column " << i;
        if (i < 4) {
            EXPECT_STREQ(title, columns[i].first);
            EXPECT_EQ(info.cx, columns[i].second);
        }
    }
    EXPECT_EQ(static_cast<COLORREF>(send(listView, LVM_GETBKCOLOR)), themePalette(0).colors[5]);
    EXPECT_EQ(static_cast<COLORREF>(send(listView, LVM_GETTEXTCOLOR)), themePalette(0).colors[8]);
}

TEST_F(NativeSurfaceTest, FontsGoToTheirControlsAndTheStockFontStandsIn)
{
    RecordingMainWindow host;
    buildNativeSurface(host.handle());
    const auto fontOf = [&](int id) { return reinterpret_cast<HFONT>(send(host.child(id), WM_GETFONT)); };
    EXPECT_EQ(fontOf(idProductHeaderLabel), titleFont());
    EXPECT_EQ(fontOf(idPageTitleLabel), titleFont());
    EXPECT_EQ(fontOf(idLogViewBox), consoleFont());
    for (const int id : {idUserNameBox, idConnectButton, idOnlineUsersList, idStatusBar, idRoomListView}) {
        EXPECT_EQ(fontOf(id), interfaceFont()) << id;
    }
    const struct {
        HFONT font;
        const wchar_t* face;
        LONG height, weight;
        BYTE pitch;
    } fonts[] = {{interfaceFont(), L"Segoe UI", -16, 400, DEFAULT_PITCH},
                 {titleFont(), L"Segoe UI", -21, 700, DEFAULT_PITCH},
                 {consoleFont(), L"Consolas", -14, 400, FIXED_PITCH | FF_MODERN}};
    for (const auto& expected : fonts) {
        LOGFONTW info = {};
        ASSERT_EQ(::GetObjectW(expected.font, sizeof(info), &info), static_cast<int>(sizeof(info)));
        EXPECT_STREQ(info.lfFaceName, expected.face);
        EXPECT_EQ(info.lfHeight, expected.height);
        EXPECT_EQ(info.lfWeight, expected.weight);
        EXPECT_EQ(info.lfPitchAndFamily, expected.pitch);
        EXPECT_EQ(info.lfQuality, CLEARTYPE_QUALITY);
    }

    const HFONT created = interfaceFont();
    const HFONT stock = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    deleteSurfaceFonts();
    deleteSurfaceFonts();
    EXPECT_EQ(::GetObjectType(created), 0u);
    EXPECT_EQ(interfaceFont(), stock);
    EXPECT_EQ(consoleFont(), stock);
    EXPECT_EQ(::GetObjectType(stock), static_cast<DWORD>(OBJ_FONT)) << "the stock font is never deleted";
}

TEST_F(NativeSurfaceTest, LanguageAndSoundComeFromTheRegistry)
{
    const auto build = [](auto&& check) {
        RecordingMainWindow host;
        buildNativeSurface(host.handle());
        check(host);
    };
    const DWORD four = 4, two = 2, zero = 0;
    VelmorTest::writeRawValue(L"UiLanguage", REG_DWORD, &four, sizeof(four));  // out of range: English
    VelmorTest::writeRawValue(L"NotificationSound", REG_DWORD, &zero, sizeof(zero));
    build([](const RecordingMainWindow& host) {
        EXPECT_EQ(clientState().uiLanguage.load(), 0);
        EXPECT_EQ(send(host.child(idLanguageCombo), CB_GETCURSEL), 0);
        EXPECT_EQ(windowText(host.child(idConnectButton)), L"Connect");
        EXPECT_FALSE(clientState().notificationSound);
        EXPECT_EQ(send(host.child(idNotificationSoundCheck), BM_GETCHECK), BST_UNCHECKED);
    });

    VelmorTest::writeRawValue(L"UiLanguage", REG_DWORD, &two, sizeof(two));
    VelmorTest::writeRawValue(L"NotificationSound", REG_SZ, L"0", 4);  // not the number 0: sound stays on
    build([](const RecordingMainWindow& host) {
        EXPECT_EQ(send(host.child(idLanguageCombo), CB_GETCURSEL), 2);
        EXPECT_EQ(windowText(host.child(idConnectButton)), localize(L"Connect"));
        EXPECT_NE(windowText(host.child(idConnectButton)), L"Connect");
        EXPECT_EQ(windowText(host.child(idManageBlockedButton)), localize(L"Manage blocked"));
        EXPECT_EQ(send(host.child(idNotificationSoundCheck), BM_GETCHECK), BST_CHECKED);
    });
}

TEST_F(NativeSurfaceTest, StoredListsRostersPageAndLog)
{
    SettingsStore::storeList(L"Friends", {L"amy", L"bob"});
    SettingsStore::storeList(L"RecentUsers", {L"cy"});
    SettingsStore::storeList(L"BlockedUsers", {L"mallory"});
    clientState().onlineUsers = {L"amy", L"dee", L"eve"};
    const int startedBefore = logLines("[INFO] Application started\r\n");
    RecordingMainWindow host;
    buildNativeSurface(host.handle());

    EXPECT_EQ(clientState().recentUsers, NameList{L"cy"});
    EXPECT_EQ(clientState().blockedUsers, NameList{L"mallory"});
    EXPECT_EQ(send(host.child(idFriendsList), LB_GETCOUNT), 2);
    EXPECT_EQ(send(host.child(idRecentUsersList), LB_GETCOUNT), 1);
    EXPECT_EQ(send(host.child(idOnlineUsersList), LB_GETCOUNT), 3);
    EXPECT_EQ(windowText(host.child(idOnlineCountLabel)), onlineCountText(3));
    EXPECT_EQ(clientState().activePage, pageRoomChat);

    EXPECT_EQ(logLines("[INFO] Application started\r\n"), startedBefore + 1);
    // The previous run's line reached the in-memory log through the start-up load.
    const std::vector<LogEntry> entries = DiagnosticLog::snapshot();
    ASSERT_GE(entries.size(), 2u);
    EXPECT_NE(entries.front().text.find(L"left over from the previous run"), std::wstring::npos);
    EXPECT_NE(entries.back().text.find(L"[INFO] Application started"), std::wstring::npos);

    // The subclasses are in place on the room message box and all four lists.
    host.commands.clear();
    send(host.child(idRoomMessageBox), WM_KEYDOWN, VK_RETURN);
    EXPECT_EQ(host.commands, std::vector<int>{idSendButton});
    const std::vector<int> lists = {idOnlineUsersList, idFriendsList, idRecentUsersList, idRoomMembersList};
    for (const int id : lists) send(host.child(id), WM_CONTEXTMENU, 0, MAKELPARAM(-1, -1));
    RecordingMainWindow::pump();
    EXPECT_EQ(host.menuRequests, lists);
}

TEST_F(NativeSurfaceTest, RefreshKeepsTheSelectedFriendAndUpdatesTheOnlineCount)
{
    SettingsStore::storeList(L"Friends", {L"amy", L"bob"});
    RecordingMainWindow host;
    buildNativeSurface(host.handle());
    const HWND friendsList = host.child(idFriendsList);
    send(friendsList, LB_SETCURSEL, 1);

    clientState().friends = {L"cy", L"bob", L"dee"};
    clientState().onlineUsers = {L"cy", L"bob"};
    refreshRosterListBoxes();
    EXPECT_EQ(send(friendsList, LB_GETCOUNT), 3);
    EXPECT_EQ(send(friendsList, LB_GETCURSEL), 1) << "bob is still selected";
    EXPECT_EQ(send(host.child(idOnlineUsersList), LB_GETCOUNT), 2);
    EXPECT_EQ(windowText(host.child(idOnlineCountLabel)), onlineCountText(2));
}

TEST_F(NativeSurfaceTest, ThemeChangeStoresRecoloursAndLogs)
{
    RecordingMainWindow host;
    buildNativeSurface(host.handle());
    changeTheme(host.handle(), 2);
    EXPECT_EQ(clientState().uiTheme, 2);
    EXPECT_EQ(storedDword(L"UiTheme"), 2u);
    EXPECT_EQ(static_cast<COLORREF>(send(host.child(idRoomListView), LVM_GETBKCOLOR)), themePalette(2).colors[5]);
    EXPECT_EQ(logLines("[INFO] Theme changed to Light Canvas\r\n"), 1);

    changeTheme(host.handle(), 9);  // out of range: Graphite Dark
    EXPECT_EQ(clientState().uiTheme, 0);
    EXPECT_EQ(storedDword(L"UiTheme"), 0u);
    EXPECT_EQ(logLines("[INFO] Theme changed to Graphite Dark\r\n"), 1);
}

}  // namespace
