// Palettes, theme brushes and class backgrounds across theme changes, the
// repaint of open windows, and the main window's control colours.
#include "ui/theme.h"

#include "session/client_state.h"
#include "support/test_window.h"
#include "ui/control_ids.h"
#include "ui/window_classes.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

using namespace Velmor;

COLORREF hex(unsigned rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

COLORREF brushColor(HBRUSH brush)
{
    LOGBRUSH info = {};
    return ::GetObjectW(brush, sizeof(info), &info) == sizeof(info) ? info.lbColor : CLR_INVALID;
}

HBRUSH classBackground(const wchar_t* className)
{
    WNDCLASSEXW info = {};
    info.cbSize = sizeof(info);
    return ::GetClassInfoExW(::GetModuleHandleW(nullptr), className, &info) ? info.hbrBackground : nullptr;
}

class ThemeTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const ThemedWindowClass& themed : kThemedWindowClasses) {
            ::UnregisterClassW(themed.name, ::GetModuleHandleW(nullptr));
        }
        setToastWindowForRedraw(nullptr);
        deleteThemeBrushes();
        clientState().dmWindows.clear();
        clientState().uiTheme = 0;
        clientState().connected = false;
    }

    // The client's three classes, registered as start-up registers them.
    static void registerClasses()
    {
        for (const ThemedWindowClass& themed : kThemedWindowClasses) {
            WNDCLASSEXW windowClass = {};
            windowClass.cbSize = sizeof(windowClass);
            windowClass.lpfnWndProc = &::DefWindowProcW;
            windowClass.hInstance = ::GetModuleHandleW(nullptr);
            windowClass.hbrBackground = themeBrush(themed.backgroundRole);
            windowClass.lpszClassName = themed.name;
            ASSERT_TRUE(::RegisterClassExW(&windowClass));
        }
    }
    static HWND makeWindow(const wchar_t* className, DWORD style, HWND parent, int id = 0)
    {
        return ::CreateWindowExW(0, className, L"", style, 0, 0, 200, 150, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                                 nullptr);
    }
};

TEST_F(ThemeTest, PalettesAndUnknownThemesFallingBackToGraphiteDark)
{
    const struct {
        int role;
        unsigned graphite, midnight, light;
    } rows[] = {{0, 0x12151B, 0x0A0F1A, 0xEDF2F8}, {8, 0xECF2FA, 0xE7EFFF, 0x1F2B3B},
                {13, 0xFFFFFF, 0xFFFFFF, 0x1F2B3B}, {23, 0x394B63, 0x304B6F, 0xB3C6DD}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.role);
        EXPECT_EQ(themePalette(0).colors[row.role], hex(row.graphite));
        EXPECT_EQ(themePalette(1).colors[row.role], hex(row.midnight));
        EXPECT_EQ(themePalette(2).colors[row.role], hex(row.light));
        EXPECT_EQ(themePalette(7).colors[row.role], hex(row.graphite));
    }
    EXPECT_STREQ(themeName(2), L"Light Canvas");
    EXPECT_STREQ(themeName(7), L"Graphite Dark");
    clientState().uiTheme = 7;
    EXPECT_EQ(paletteColor(5), hex(0x1D2129));
    EXPECT_EQ(paletteColor(24), RGB(0, 0, 0));
}

TEST_F(ThemeTest, BrushesFollowTheThemeAndClassBackgroundsStayLive)
{
    createThemeBrushes();
    EXPECT_EQ(themeBrush(8), nullptr) << "role 8 has no brush";
    const HBRUSH startupBackground = themeBrush(0);
    registerClasses();
    const HWND main = makeWindow(kMainWindowClass, WS_OVERLAPPEDWINDOW, nullptr);
    const HWND toast = makeWindow(kToastWindowClass, WS_POPUP, nullptr);
    setToastWindowForRedraw(toast);

    clientState().uiTheme = 1;
    recreateThemeBrushes(main);
    clientState().uiTheme = 2;
    recreateThemeBrushes(main);
    for (const int role : {0, 5, 12, 14, 15, 10, 16}) EXPECT_EQ(brushColor(themeBrush(role)), themePalette(2).colors[role]);
    EXPECT_EQ(classBackground(kMainWindowClass), themeBrush(0));
    EXPECT_EQ(classBackground(kToastWindowClass), themeBrush(5));
    // No direct-message window to reach its class through: it keeps the
    // start-up brush, still alive.
    EXPECT_EQ(classBackground(kDirectMessageWindowClass), startupBackground);
    EXPECT_EQ(brushColor(startupBackground), hex(0x12151B));

    // With a window open, the next change moves that class on too, and the
    // start-up brush is finally deleted.
    clientState().dmWindows[L"amy"] = makeWindow(kDirectMessageWindowClass, WS_OVERLAPPEDWINDOW, nullptr);
    clientState().uiTheme = 0;
    recreateThemeBrushes(main);
    EXPECT_EQ(classBackground(kDirectMessageWindowClass), themeBrush(0));
    EXPECT_EQ(brushColor(themeBrush(0)), hex(0x12151B));
    EXPECT_EQ(::GetObjectType(startupBackground), 0u);
    for (const HWND window : {clientState().dmWindows[L"amy"], toast, main}) ::DestroyWindow(window);
}

TEST_F(ThemeTest, ThemeChangeRepaintsOpenWindowsAndRecoloursTheRoomList)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    ASSERT_TRUE(::InitCommonControlsEx(&controls));
    createThemeBrushes();
    registerClasses();
    // Siblings in one visible window, so that repainting one cannot repaint another.
    VelmorTest::TestMainWindow host;
    ::ShowWindow(host.handle(), SW_SHOWNOACTIVATE);
    const HWND main = makeWindow(kMainWindowClass, WS_CHILD | WS_VISIBLE, host.handle());
    const HWND listView = makeWindow(WC_LISTVIEWW, WS_CHILD | WS_VISIBLE | LVS_REPORT, main, idRoomListView);
    const HWND dm = makeWindow(kDirectMessageWindowClass, WS_CHILD | WS_VISIBLE, host.handle());
    const HWND toast = makeWindow(kToastWindowClass, WS_CHILD | WS_VISIBLE, host.handle());
    clientState().dmWindows[L"amy"] = dm;
    setToastWindowForRedraw(toast);
    ::UpdateWindow(host.handle());
    VelmorTest::TestMainWindow::pumpMessages();
    RECT update = {};
    ASSERT_FALSE(::GetUpdateRect(dm, &update, FALSE) || ::GetUpdateRect(toast, &update, FALSE));

    clientState().uiTheme = 2;
    recreateThemeBrushes(main);
    EXPECT_TRUE(::GetUpdateRect(dm, &update, FALSE));
    EXPECT_TRUE(::GetUpdateRect(toast, &update, FALSE));
    EXPECT_EQ(static_cast<COLORREF>(::SendMessageW(listView, LVM_GETBKCOLOR, 0, 0)), hex(0xF6F8FB));
    EXPECT_EQ(static_cast<COLORREF>(::SendMessageW(listView, LVM_GETTEXTBKCOLOR, 0, 0)), hex(0xF6F8FB));
    EXPECT_EQ(static_cast<COLORREF>(::SendMessageW(listView, LVM_GETTEXTCOLOR, 0, 0)), hex(0x1F2B3B));
}

TEST_F(ThemeTest, ControlColoursAnswerEachKindOfControl)
{
    VelmorTest::TestMainWindow window({
        {idLogViewBox, L"EDIT", ES_MULTILINE | ES_READONLY},  {idTranscriptBox, L"EDIT", ES_MULTILINE | ES_READONLY},
        {idRoomMessageBox, L"EDIT", 0},                        {idOnlineUsersList, L"LISTBOX", 0},
        {idSendButton, L"BUTTON", BS_OWNERDRAW},               {idStatusBar, L"STATIC", 0},
        {idConnectionStatusLabel, L"STATIC", 0},               {idOnlineCountLabel, L"STATIC", 0},
        {idPageTitleLabel, L"STATIC", 0},                      {idNotificationSoundCheck, L"BUTTON", BS_AUTOCHECKBOX},
    });
    clientState().uiTheme = 1;
    createThemeBrushes();
    const HDC dc = ::CreateCompatibleDC(nullptr);
    const struct {
        UINT message;
        int id;
        bool connected;
        int text, background, brush;  // background -1: transparent
    } rows[] = {
        {WM_CTLCOLOREDIT, idLogViewBox, false, 17, 16, 16},
        // Read-only edit boxes ask with WM_CTLCOLORSTATIC and still get edit colours.
        {WM_CTLCOLORSTATIC, idLogViewBox, false, 17, 16, 16},
        {WM_CTLCOLORSTATIC, idTranscriptBox, false, 8, 5, 5},
        {WM_CTLCOLOREDIT, idRoomMessageBox, false, 8, 5, 5},
        {WM_CTLCOLORLISTBOX, idOnlineUsersList, false, 8, 5, 5},
        {WM_CTLCOLORBTN, idSendButton, false, 8, 5, 5},
        {WM_CTLCOLORSTATIC, idStatusBar, false, 9, 5, 5},
        {WM_CTLCOLORSTATIC, idConnectionStatusLabel, false, 9, -1, 0},
        {WM_CTLCOLORSTATIC, idConnectionStatusLabel, true, 14, -1, 0},
        {WM_CTLCOLORSTATIC, idOnlineCountLabel, false, 14, -1, 0},
        {WM_CTLCOLORSTATIC, idPageTitleLabel, false, 8, -1, 0},
        {WM_CTLCOLORSTATIC, idNotificationSoundCheck, false, 9, -1, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "id " << row.id << " message " << row.message);
        clientState().connected = row.connected;
        // Start from the opposite of what is expected, so that each setting is seen to happen.
        ::SetBkMode(dc, row.background < 0 ? OPAQUE : TRANSPARENT);
        ::SetTextColor(dc, RGB(1, 2, 3));
        ::SetBkColor(dc, RGB(1, 2, 3));
        const LRESULT brush = themeControlColor(row.message, reinterpret_cast<WPARAM>(dc),
                                                reinterpret_cast<LPARAM>(window.child(row.id)));
        EXPECT_EQ(::GetTextColor(dc), themePalette(1).colors[row.text]);
        EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), themeBrush(row.brush));
        if (row.background < 0) {
            EXPECT_EQ(::GetBkMode(dc), TRANSPARENT);
        } else {
            EXPECT_EQ(::GetBkColor(dc), themePalette(1).colors[row.background]);
        }
        if (row.id == idStatusBar) {
            EXPECT_EQ(::GetBkMode(dc), OPAQUE);
        }
    }
    ::DeleteDC(dc);
}

}  // namespace
