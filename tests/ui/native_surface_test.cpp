// Building the hidden native controls on a real top-level window, with the
// real registry of a fresh prefix and the log file in a temporary folder.
#include "ui/native_surface.h"

#include "diagnostics/diagnostic_log.h"
#include "i18n/localize.h"
#include "platform/app_messages.h"
#include "session/client_state.h"
#include "settings/settings_store.h"
#include "recording_main_window.h"
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
#include <string>
#include <vector>

namespace {

using namespace Velmor;

std::wstring classOf(HWND window)
{
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

LOGFONTW logFontOf(HFONT font)
{
    LOGFONTW info = {};
    ::GetObjectW(font, sizeof(info), &info);
    return info;
}

std::unique_ptr<VelmorTest::TempDir> gLogFolder;

std::filesystem::path logFile()
{
    return gLogFolder->path() / L"VelmorChat" / L"Logs" / L"client.log";
}

std::string readLogFile()
{
    std::ifstream file(logFile(), std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

int occurrences(const std::string& text, const std::string& part)
{
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

class NativeSurfaceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The log file path is fixed on first use: point it at a fresh folder
        // holding a previous log before anything writes.
        gLogFolder = std::make_unique<VelmorTest::TempDir>();
        std::filesystem::create_directories(logFile().parent_path());
        std::ofstream previous(logFile(), std::ios::binary);
        previous << "09:15:00.000 [WARN] left over from the previous run\r\n";
        previous.close();
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
        state.uiLanguage = 0;
        state.uiTheme = 0;
        state.notificationSound = false;
        state.activePage = pageRooms;
        state.onlineUsers.clear();
        state.friends.clear();
        state.recentUsers.clear();
        state.blockedUsers.clear();
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

struct Expected {
    int id;
    const wchar_t* className;
    DWORD style;
    const wchar_t* text;  // nullptr: not checked
};

constexpr DWORD kList = WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS |
                        LBS_NOINTEGRALHEIGHT;
constexpr DWORD kTranscript = WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | ES_NOHIDESEL;
constexpr DWORD kCombo = WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST;

// The controls in creation order, with the texts they show in English.
const Expected kExpected[] = {
    {2010, L"Static", 0, L"VELMOR CHAT   •   STUDIO"},
    {2001, L"Static", 0, L"Username"},
    {1001, L"Edit", WS_BORDER | ES_AUTOHSCROLL, L""},
    {1002, L"Button", BS_OWNERDRAW, L"Connect"},
    {1003, L"Static", 0, L"Offline · waiting for login"},
    {2011, L"Static", 0, L"Room chat"},
    {1021, L"Button", WS_TABSTOP | BS_OWNERDRAW, L""},
    {1022, L"Button", WS_TABSTOP | BS_OWNERDRAW, L""},
    {1023, L"Button", WS_TABSTOP | BS_OWNERDRAW, L""},
    {1024, L"Button", WS_TABSTOP | BS_OWNERDRAW, L""},
    {1025, L"Button", WS_TABSTOP | BS_OWNERDRAW, L""},
    {1026, L"Button", WS_TABSTOP | BS_OWNERDRAW, L""},
    {1028, L"Button", WS_TABSTOP | BS_OWNERDRAW, L""},
    {2002, L"Static", 0, L"Room"},
    {1004, L"Edit", WS_BORDER | ES_AUTOHSCROLL, L""},
    {2003, L"Static", 0, L"Game"},
    {1005, L"Edit", WS_BORDER | ES_AUTOHSCROLL, L"Stronghold Crusader"},
    {1006, L"Button", BS_OWNERDRAW, L"Create room"},
    {1007, L"Button", BS_OWNERDRAW, L"Refresh"},
    {1008, L"Button", BS_OWNERDRAW, L"Join room"},
    {2004, L"Static", 0, L"ROOM CHAT  /  CLICK A PLAYER FOR ACTIONS"},
    {1010, L"Edit", kTranscript, L""},
    {1011, L"Edit", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, L""},
    {1012, L"Button", BS_OWNERDRAW, L"Send"},
    {1014, L"Button", BS_OWNERDRAW, L"Leave room"},
    {2005, L"Static", 0, nullptr},
    {1013, L"ListBox", kList, nullptr},
    {2006, L"Static", 0, L"FRIENDS"},
    {1018, L"Button", BS_OWNERDRAW, L"+ Add"},
    {1019, L"Button", BS_OWNERDRAW, L"Remove"},
    {1015, L"ListBox", kList, nullptr},
    {2007, L"Static", 0, L"RECENTLY ACTIVE  ·  LAST 20"},
    {1020, L"Button", BS_OWNERDRAW, L"Manage blocked"},
    {1016, L"ListBox", kList, nullptr},
    {2012, L"Static", SS_NOPREFIX,
     L"Private-message alerts use a small desktop banner. You can keep the banner and turn off its sound below."},
    {1027, L"Button", WS_TABSTOP | BS_AUTOCHECKBOX, L"Play a soft sound when a private message arrives"},
    {2013, L"Static", 0, L"Language"},
    {1034, L"ComboBox", kCombo, nullptr},
    {2015, L"Static", 0, L"Theme"},
    {1037, L"ComboBox", kCombo, nullptr},
    {2014, L"Static", 0, L"Diagnostic output is privacy-safe: message bodies are never recorded."},
    {1039, L"Static", SS_RIGHT, L""},
    {1036, L"Edit", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, L""},
    {1030, L"ComboBox", kCombo, nullptr},
    {1038, L"Button", WS_TABSTOP | BS_AUTOCHECKBOX, L"Follow log tail"},
    {1031, L"Button", WS_TABSTOP | BS_OWNERDRAW, L"Copy log"},
    {1032, L"Button", WS_TABSTOP | BS_OWNERDRAW, L"Export log"},
    {1033, L"Button", WS_TABSTOP | BS_OWNERDRAW, L"Clear log"},
    {1029, L"Edit", kTranscript | WS_HSCROLL, L""},
    {1035, L"Static", 0, L"READY  ·  F5 Refresh  ·  Ctrl+Shift+D Debug  ·  Ctrl+L Message  ·  Ctrl+K Navigate"},
    {2008, L"Static", 0, L"ROOMS"},
    {2009, L"Static", 0, L"ROOM MEMBERS"},
    {1017, L"ListBox", kList, nullptr},
    {1009, L"SysListView32", LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, nullptr},
};

// What each child of the main window was created with (controls adjust
// some of their style bits afterwards, so the request itself is checked).
struct Creation {
    int id;
    DWORD style;
    int width;
    int height;
};
std::vector<Creation> gCreations;
HWND gCreationParent = nullptr;

LRESULT CALLBACK recordCreation(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        const CREATESTRUCTW& create = *reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
        if (create.hwndParent && create.hwndParent == gCreationParent) {
            gCreations.push_back({static_cast<int>(reinterpret_cast<INT_PTR>(create.hMenu)), static_cast<DWORD>(create.style),
                                  create.cx, create.cy});
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(NativeSurfaceTest, EveryControlInOrderWithItsClassStyleAndEnglishText)
{
    VelmorTest::RecordingMainWindow host;
    gCreations.clear();
    gCreationParent = host.handle();
    const HHOOK hook = ::SetWindowsHookExW(WH_CBT, &recordCreation, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    buildNativeSurface(host.handle());
    ::UnhookWindowsHookEx(hook);

    ASSERT_EQ(gCreations.size(), std::size(kExpected));
    for (std::size_t i = 0; i < gCreations.size(); ++i) {
        const Expected& expected = kExpected[i];
        SCOPED_TRACE(expected.id);
        EXPECT_EQ(gCreations[i].id, expected.id) << "creation order";
        EXPECT_EQ(gCreations[i].style, WS_CHILD | WS_VISIBLE | expected.style);
        const bool combo = expected.id == idLanguageCombo || expected.id == idThemeCombo;
        EXPECT_EQ(gCreations[i].width, expected.id == idLanguageCombo ? 210 : expected.id == idThemeCombo ? 230 : 10);
        EXPECT_EQ(gCreations[i].height, combo ? 180 : 10);
        const HWND control = host.child(expected.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(classOf(control), expected.className);
        if (expected.text) {
            EXPECT_EQ(VelmorTest::windowText(control), expected.text);
        }
    }

    EXPECT_EQ(::SendMessageW(host.child(idUserNameBox), EM_GETLIMITTEXT, 0, 0), 64);
    EXPECT_EQ(::SendMessageW(host.child(idLogViewBox), EM_GETLIMITTEXT, 0, 0), 500000);
    EXPECT_EQ(VelmorTest::comboBoxItems(host.child(idLanguageCombo)), L"English|العربية|Français|Español");
    EXPECT_EQ(VelmorTest::comboBoxItems(host.child(idThemeCombo)), L"Graphite Dark|Midnight Blue|Light Canvas");
    EXPECT_EQ(::SendMessageW(host.child(idThemeCombo), CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(VelmorTest::comboBoxItems(host.child(idLogFilterCombo)), L"All events|Warnings and errors|Errors only");
    EXPECT_EQ(::SendMessageW(host.child(idLogFilterCombo), CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(::SendMessageW(host.child(idFollowTailCheck), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(VelmorTest::cueBanner(host.child(idLogSearchBox)), L"Search logs…");

    // Roster rows are 27 pixels high (the main window measures them).
    for (const int id : {idOnlineUsersList, idFriendsList, idRecentUsersList, idRoomMembersList}) {
        EXPECT_EQ(::SendMessageW(host.child(id), LB_GETITEMHEIGHT, 0, 0), 27) << id;
    }
}

TEST_F(NativeSurfaceTest, FontsGoToTheirControls)
{
    VelmorTest::RecordingMainWindow host;
    buildNativeSurface(host.handle());
    const auto fontOf = [&](int id) { return reinterpret_cast<HFONT>(::SendMessageW(host.child(id), WM_GETFONT, 0, 0)); };

    EXPECT_EQ(fontOf(idProductHeaderLabel), titleFont());
    EXPECT_EQ(fontOf(idPageTitleLabel), titleFont());
    EXPECT_EQ(fontOf(idLogViewBox), consoleFont());
    for (const int id : {idUserNameBox, idConnectButton, idOnlineUsersList, idLanguageCombo, idStatusBar,
                         idRoomListView}) {
        EXPECT_EQ(fontOf(id), interfaceFont()) << id;
    }

    const LOGFONTW interfaceInfo = logFontOf(interfaceFont());
    EXPECT_STREQ(interfaceInfo.lfFaceName, L"Segoe UI");
    EXPECT_EQ(interfaceInfo.lfHeight, -16);
    EXPECT_EQ(interfaceInfo.lfWeight, 400);
    EXPECT_EQ(interfaceInfo.lfCharSet, DEFAULT_CHARSET);
    EXPECT_EQ(interfaceInfo.lfQuality, CLEARTYPE_QUALITY);
    const LOGFONTW titleInfo = logFontOf(titleFont());
    EXPECT_STREQ(titleInfo.lfFaceName, L"Segoe UI");
    EXPECT_EQ(titleInfo.lfHeight, -21);
    EXPECT_EQ(titleInfo.lfWeight, 700);
    const LOGFONTW consoleInfo = logFontOf(consoleFont());
    EXPECT_STREQ(consoleInfo.lfFaceName, L"Consolas");
    EXPECT_EQ(consoleInfo.lfHeight, -14);
    EXPECT_EQ(consoleInfo.lfPitchAndFamily, FIXED_PITCH | FF_MODERN);

    // Deleting the fonts leaves the stock font in their place, alive.
    const HFONT created = interfaceFont();
    deleteSurfaceFonts();
    const HFONT stock = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
    EXPECT_EQ(::GetObjectType(created), 0u);
    EXPECT_EQ(interfaceFont(), stock);
    EXPECT_EQ(titleFont(), stock);
    EXPECT_EQ(consoleFont(), stock);
    deleteSurfaceFonts();
    EXPECT_EQ(::GetObjectType(stock), static_cast<DWORD>(OBJ_FONT));
}

TEST_F(NativeSurfaceTest, RoomListViewHasItsColumnsStylesAndColours)
{
    clientState().uiTheme = 2;
    VelmorTest::RecordingMainWindow host;
    buildNativeSurface(host.handle());
    const HWND listView = host.child(idRoomListView);
    ASSERT_NE(listView, nullptr);

    const auto extended = static_cast<DWORD>(::SendMessageW(listView, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ(extended & (LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER), LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    const struct {
        const wchar_t* title;
        int width;
    } columns[] = {{L"Room", 100}, {L"Game", 90}, {L"Players", 56}, {L"Host", 120}};
    for (int i = 0; i < 4; ++i) {
        wchar_t title[32] = {};
        LVCOLUMNW info = {};
        info.mask = LVCF_TEXT | LVCF_WIDTH;
        info.pszText = title;
        info.cchTextMax = 32;
        ASSERT_TRUE(::SendMessageW(listView, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&info))) << i;
        EXPECT_STREQ(title, columns[i].title);
        EXPECT_EQ(info.cx, columns[i].width);
    }
    LVCOLUMNW fifth = {};
    fifth.mask = LVCF_WIDTH;
    EXPECT_FALSE(::SendMessageW(listView, LVM_GETCOLUMNW, 4, reinterpret_cast<LPARAM>(&fifth)));
    EXPECT_EQ(static_cast<COLORREF>(::SendMessageW(listView, LVM_GETBKCOLOR, 0, 0)), themePalette(2).colors[5]);
    EXPECT_EQ(static_cast<COLORREF>(::SendMessageW(listView, LVM_GETTEXTBKCOLOR, 0, 0)), themePalette(2).colors[5]);
    EXPECT_EQ(static_cast<COLORREF>(::SendMessageW(listView, LVM_GETTEXTCOLOR, 0, 0)), themePalette(2).colors[8]);
}

TEST_F(NativeSurfaceTest, LanguageAndSoundComeFromTheRegistry)
{
    {
        const DWORD language = 4;  // out of range: English
        const DWORD sound = 0;
        VelmorTest::writeRawValue(L"UiLanguage", REG_DWORD, &language, sizeof(language));
        VelmorTest::writeRawValue(L"NotificationSound", REG_DWORD, &sound, sizeof(sound));
        clientState().uiLanguage = 2;
        VelmorTest::RecordingMainWindow host;
        buildNativeSurface(host.handle());
        EXPECT_EQ(clientState().uiLanguage.load(), 0);
        EXPECT_EQ(::SendMessageW(host.child(idLanguageCombo), CB_GETCURSEL, 0, 0), 0);
        EXPECT_EQ(VelmorTest::windowText(host.child(idConnectButton)), L"Connect");
        EXPECT_FALSE(clientState().notificationSound);
        EXPECT_EQ(::SendMessageW(host.child(idNotificationSoundCheck), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    }
    {
        const DWORD language = 2;
        const wchar_t soundText[] = L"0";  // a string is not the number 0: sound stays on
        VelmorTest::writeRawValue(L"UiLanguage", REG_DWORD, &language, sizeof(language));
        VelmorTest::writeRawValue(L"NotificationSound", REG_SZ, soundText, sizeof(soundText));
        VelmorTest::RecordingMainWindow host;
        buildNativeSurface(host.handle());
        EXPECT_EQ(clientState().uiLanguage.load(), 2);
        EXPECT_EQ(::SendMessageW(host.child(idLanguageCombo), CB_GETCURSEL, 0, 0), 2);
        EXPECT_EQ(VelmorTest::windowText(host.child(idConnectButton)), localize(L"Connect"));
        EXPECT_NE(VelmorTest::windowText(host.child(idConnectButton)), L"Connect");
        EXPECT_EQ(VelmorTest::windowText(host.child(idManageBlockedButton)), localize(L"Manage blocked"));
        EXPECT_TRUE(clientState().notificationSound);
        EXPECT_EQ(::SendMessageW(host.child(idNotificationSoundCheck), BM_GETCHECK, 0, 0), BST_CHECKED);
    }
    {
        VelmorTest::deleteSettingsKey();  // nothing stored: English, sound on
        VelmorTest::RecordingMainWindow host;
        buildNativeSurface(host.handle());
        EXPECT_EQ(clientState().uiLanguage.load(), 0);
        EXPECT_TRUE(clientState().notificationSound);
    }
}

TEST_F(NativeSurfaceTest, StoredListsFillTheRostersAndThePageIsRoomChat)
{
    SettingsStore::storeList(L"Friends", {L"amy", L"bob"});
    SettingsStore::storeList(L"RecentUsers", {L"cy"});
    SettingsStore::storeList(L"BlockedUsers", {L"mallory"});
    clientState().onlineUsers = {L"amy", L"dee", L"eve"};
    VelmorTest::RecordingMainWindow host;
    buildNativeSurface(host.handle());

    EXPECT_EQ(clientState().friends, (NameList{L"amy", L"bob"}));
    EXPECT_EQ(clientState().recentUsers, (NameList{L"cy"}));
    EXPECT_EQ(clientState().blockedUsers, (NameList{L"mallory"}));
    EXPECT_EQ(::SendMessageW(host.child(idFriendsList), LB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(::SendMessageW(host.child(idRecentUsersList), LB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(::SendMessageW(host.child(idOnlineUsersList), LB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(::SendMessageW(host.child(idRoomMembersList), LB_GETCOUNT, 0, 0), 0);
    EXPECT_EQ(VelmorTest::windowText(host.child(idOnlineCountLabel)), onlineCountText(3));
    EXPECT_EQ(clientState().activePage, pageRoomChat);
    EXPECT_EQ(VelmorTest::windowText(host.child(idPageTitleLabel)), L"Room chat");
}

TEST_F(NativeSurfaceTest, LogHoldsThePreviousRunAndApplicationStarted)
{
    const int startedBefore = occurrences(readLogFile(), "[INFO] Application started\r\n");
    VelmorTest::RecordingMainWindow host;
    buildNativeSurface(host.handle());
    EXPECT_EQ(occurrences(readLogFile(), "[INFO] Application started\r\n"), startedBefore + 1);

    // The previous run's line reached the in-memory log through the start-up load.
    DiagnosticLog::refreshView();
    const std::wstring view = VelmorTest::windowText(host.child(idLogViewBox));
    EXPECT_NE(view.find(L"left over from the previous run"), std::wstring::npos) << std::string(view.begin(), view.end());
    EXPECT_NE(view.find(L"[INFO] Application started"), std::wstring::npos);
}

TEST_F(NativeSurfaceTest, SubclassesAreInstalled)
{
    clientState().onlineUsers = {L"amy", L"bob"};
    VelmorTest::RecordingMainWindow host;
    buildNativeSurface(host.handle());
    VelmorTest::RecordingMainWindow::pump();
    host.commands.clear();

    ::SendMessageW(host.child(idRoomMessageBox), WM_KEYDOWN, VK_RETURN, 0x001C0001);
    EXPECT_EQ(host.commands, std::vector<int>{idSendButton});

    for (const int id : {idOnlineUsersList, idFriendsList, idRecentUsersList, idRoomMembersList}) {
        ::SendMessageW(host.child(id), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(host.child(id)), MAKELPARAM(-1, -1));
    }
    VelmorTest::RecordingMainWindow::pump();
    const std::vector<int> expected = {idOnlineUsersList, idFriendsList, idRecentUsersList, idRoomMembersList};
    EXPECT_EQ(host.menuRequests, expected);
}

TEST_F(NativeSurfaceTest, RefreshKeepsTheSelectedFriendAndUpdatesTheOnlineCount)
{
    SettingsStore::storeList(L"Friends", {L"amy", L"bob"});
    VelmorTest::RecordingMainWindow host;
    buildNativeSurface(host.handle());
    const HWND friendsList = host.child(idFriendsList);
    ::SendMessageW(friendsList, LB_SETCURSEL, 1, 0);

    clientState().friends = {L"cy", L"bob", L"dee"};
    clientState().onlineUsers = {L"cy", L"bob"};
    clientState().recentUsers = {L"dee"};
    refreshRosterListBoxes();
    EXPECT_EQ(::SendMessageW(friendsList, LB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(::SendMessageW(friendsList, LB_GETCURSEL, 0, 0), 1);
    wchar_t selected[16] = {};
    ::SendMessageW(friendsList, LB_GETTEXT, 1, reinterpret_cast<LPARAM>(selected));
    EXPECT_STREQ(selected, L"bob");
    EXPECT_EQ(::SendMessageW(host.child(idOnlineUsersList), LB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(::SendMessageW(host.child(idRecentUsersList), LB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(VelmorTest::windowText(host.child(idOnlineCountLabel)), onlineCountText(2));

    clientState().friends = {L"cy"};
    refreshRosterListBoxes();
    EXPECT_EQ(::SendMessageW(friendsList, LB_GETCURSEL, 0, 0), LB_ERR) << "a removed friend leaves no selection";
}

TEST_F(NativeSurfaceTest, ThemeChangeStoresRecoloursAndLogs)
{
    VelmorTest::RecordingMainWindow host;
    buildNativeSurface(host.handle());
    const auto storedTheme = [] {
        DWORD type = 0;
        std::vector<unsigned char> data;
        DWORD value = 99;
        if (VelmorTest::readRawValue(L"UiTheme", type, data) && type == REG_DWORD && data.size() == sizeof(value)) {
            std::memcpy(&value, data.data(), sizeof(value));
        }
        return value;
    };

    changeTheme(host.handle(), 2);
    EXPECT_EQ(clientState().uiTheme, 2);
    EXPECT_EQ(storedTheme(), 2u);
    EXPECT_EQ(static_cast<COLORREF>(::SendMessageW(host.child(idRoomListView), LVM_GETBKCOLOR, 0, 0)),
              themePalette(2).colors[5]);
    EXPECT_EQ(occurrences(readLogFile(), "[INFO] Theme changed to Light Canvas\r\n"), 1);

    changeTheme(host.handle(), 9);  // out of range: Graphite Dark
    EXPECT_EQ(clientState().uiTheme, 0);
    EXPECT_EQ(storedTheme(), 0u);
    EXPECT_EQ(occurrences(readLogFile(), "[INFO] Theme changed to Graphite Dark\r\n"), 1);
}

}  // namespace
