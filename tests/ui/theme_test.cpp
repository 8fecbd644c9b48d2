// Palettes, theme brushes, class backgrounds across theme changes, the
// repaint of open windows, and the control colours of the main window.
#include "ui/theme.h"

#include "session/client_state.h"
#include "support/test_window.h"
#include "ui/control_ids.h"
#include "ui/window_classes.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

using Velmor::clientState;
using Velmor::paletteColor;
using Velmor::themeBrush;
using Velmor::themePalette;

COLORREF hex(unsigned rgb)
{
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

COLORREF brushColor(HBRUSH brush)
{
    LOGBRUSH info = {};
    if (::GetObjectW(brush, sizeof(info), &info) != sizeof(info)) return CLR_INVALID;
    return info.lbColor;
}

bool isLiveBrush(HBRUSH brush)
{
    return brush && ::GetObjectType(brush) == OBJ_BRUSH;
}

class ThemeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        clientState().uiTheme = 0;
        clientState().connected = false;
        clientState().dmWindows.clear();
    }
    void TearDown() override
    {
        Velmor::setToastWindowForRedraw(nullptr);
        Velmor::deleteThemeBrushes();
        clientState().dmWindows.clear();
        clientState().uiTheme = 0;
        clientState().connected = false;
    }
};

TEST_F(ThemeTest, PalettesHoldTheTableValuesAndUnknownThemesFallBackToGraphiteDark)
{
    struct Row {
        int role;
        unsigned graphite, midnight, light;
    };
    const Row rows[] = {
        {0, 0x12151B, 0x0A0F1A, 0xEDF2F8},  {3, 0x151920, 0x0D1524, 0xF9FBFE},
        {5, 0x1D2129, 0x161F31, 0xF6F8FB},  {6, 0x2D3540, 0x283952, 0xCDD8E5},
        {8, 0xECF2FA, 0xE7EFFF, 0x1F2B3B},  {10, 0x4AA4F4, 0x53BEFF, 0x1C71C5},
        {13, 0xFFFFFF, 0xFFFFFF, 0x1F2B3B}, {14, 0x38D28F, 0x3FDCA0, 0x159A68},
        {16, 0x0F1319, 0x080C15, 0xF4F7FB}, {17, 0xC0D0E0, 0xC5D8F1, 0x2D3A4A},
        {18, 0x2A71B1, 0x1F68A4, 0x2269B5}, {21, 0x7C8694, 0x768BAA, 0x828D9A},
        {22, 0x262B35, 0x1B273C, 0xE8EDF4}, {23, 0x394B63, 0x304B6F, 0xB3C6DD},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.role);
        EXPECT_EQ(themePalette(0).colors[row.role], hex(row.graphite));
        EXPECT_EQ(themePalette(1).colors[row.role], hex(row.midnight));
        EXPECT_EQ(themePalette(2).colors[row.role], hex(row.light));
        EXPECT_EQ(themePalette(7).colors[row.role], hex(row.graphite));
        EXPECT_EQ(themePalette(-1).colors[row.role], hex(row.graphite));
    }
    EXPECT_STREQ(Velmor::themeName(0), L"Graphite Dark");
    EXPECT_STREQ(Velmor::themeName(1), L"Midnight Blue");
    EXPECT_STREQ(Velmor::themeName(2), L"Light Canvas");
    EXPECT_STREQ(Velmor::themeName(7), L"Graphite Dark");

    clientState().uiTheme = 2;
    EXPECT_EQ(paletteColor(8), hex(0x1F2B3B));
    clientState().uiTheme = 7;
    EXPECT_EQ(paletteColor(8), hex(0xECF2FA));
    EXPECT_EQ(paletteColor(24), RGB(0, 0, 0));
    EXPECT_EQ(paletteColor(-1), RGB(0, 0, 0));
}

TEST_F(ThemeTest, SevenBrushesFollowTheThemeAndOldOnesAreDeleted)
{
    const int roles[] = {0, 5, 12, 14, 15, 10, 16};
    Velmor::createThemeBrushes();
    std::vector<HBRUSH> first;
    for (const int role : roles) {
        SCOPED_TRACE(role);
        ASSERT_TRUE(isLiveBrush(themeBrush(role)));
        EXPECT_EQ(brushColor(themeBrush(role)), themePalette(0).colors[role]);
        first.push_back(themeBrush(role));
    }
    EXPECT_EQ(themeBrush(8), nullptr);
    EXPECT_EQ(themeBrush(24), nullptr);

    clientState().uiTheme = 2;
    Velmor::recreateThemeBrushes(nullptr);
    for (std::size_t i = 0; i < std::size(roles); ++i) {
        SCOPED_TRACE(roles[i]);
        EXPECT_EQ(brushColor(themeBrush(roles[i])), themePalette(2).colors[roles[i]]);
        EXPECT_EQ(::GetObjectType(first[i]), 0u) << "the previous brush should be deleted";
    }

    Velmor::deleteThemeBrushes();
    for (const int role : roles) EXPECT_EQ(themeBrush(role), nullptr);
}

// The client's three classes registered the way start-up registers them.
class RegisteredClasses {
public:
    RegisteredClasses()
    {
        for (const Velmor::ThemedWindowClass& themed : Velmor::kThemedWindowClasses) {
            WNDCLASSEXW windowClass = {};
            windowClass.cbSize = sizeof(windowClass);
            windowClass.lpfnWndProc = &countingProc;
            windowClass.hInstance = ::GetModuleHandleW(nullptr);
            windowClass.hbrBackground = themeBrush(themed.backgroundRole);
            windowClass.lpszClassName = themed.name;
            registered_ = ::RegisterClassExW(&windowClass) != 0 && registered_;
        }
        paints = 0;
    }
    ~RegisteredClasses()
    {
        for (const Velmor::ThemedWindowClass& themed : Velmor::kThemedWindowClasses) {
            ::UnregisterClassW(themed.name, ::GetModuleHandleW(nullptr));
        }
    }
    bool ok() const { return registered_; }

    static HBRUSH background(const wchar_t* className)
    {
        WNDCLASSEXW info = {};
        info.cbSize = sizeof(info);
        if (!::GetClassInfoExW(::GetModuleHandleW(nullptr), className, &info)) return nullptr;
        return info.hbrBackground;
    }

    static inline int paints = 0;

private:
    static LRESULT CALLBACK countingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_PAINT) ++paints;
        return ::DefWindowProcW(window, message, wParam, lParam);
    }
    bool registered_ = true;
};

HWND makeWindow(const wchar_t* className, DWORD style, HWND parent = nullptr, int id = 0)
{
    return ::CreateWindowExW(0, className, L"", style, 0, 0, 200, 150, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr),
                             nullptr);
}

TEST_F(ThemeTest, ClassBackgroundsStayLiveBrushesAcrossThemeChanges)
{
    Velmor::createThemeBrushes();
    const HBRUSH startupBackground = themeBrush(0);
    RegisteredClasses classes;
    ASSERT_TRUE(classes.ok());
    const HWND main = makeWindow(Velmor::kMainWindowClass, WS_OVERLAPPEDWINDOW);
    const HWND toast = makeWindow(Velmor::kToastWindowClass, WS_POPUP);
    ASSERT_TRUE(main && toast);
    Velmor::setToastWindowForRedraw(toast);

    clientState().uiTheme = 1;
    Velmor::recreateThemeBrushes(main);
    clientState().uiTheme = 2;
    Velmor::recreateThemeBrushes(main);

    // Classes with a window follow the theme.
    EXPECT_EQ(RegisteredClasses::background(Velmor::kMainWindowClass), themeBrush(0));
    EXPECT_EQ(RegisteredClasses::background(Velmor::kToastWindowClass), themeBrush(5));
    EXPECT_EQ(brushColor(RegisteredClasses::background(Velmor::kToastWindowClass)), hex(0xF6F8FB));
    // The direct-message class has no window to reach it through: it keeps
    // the start-up brush, which must still be alive.
    const HBRUSH dmBackground = RegisteredClasses::background(Velmor::kDirectMessageWindowClass);
    EXPECT_EQ(dmBackground, startupBackground);
    EXPECT_TRUE(isLiveBrush(dmBackground));
    EXPECT_EQ(brushColor(dmBackground), hex(0x12151B));

    // Once a direct-message window exists, the next change moves its class
    // on and the start-up brush goes.
    const HWND dm = makeWindow(Velmor::kDirectMessageWindowClass, WS_OVERLAPPEDWINDOW);
    ASSERT_TRUE(dm);
    clientState().dmWindows[L"amy"] = dm;
    clientState().uiTheme = 0;
    Velmor::recreateThemeBrushes(main);
    EXPECT_EQ(RegisteredClasses::background(Velmor::kDirectMessageWindowClass), themeBrush(0));
    EXPECT_TRUE(isLiveBrush(themeBrush(0)));
    EXPECT_EQ(::GetObjectType(startupBackground), 0u);

    ::DestroyWindow(dm);
    ::DestroyWindow(toast);
    ::DestroyWindow(main);
}

TEST_F(ThemeTest, ThemeChangeRepaintsOpenWindowsAndRecoloursTheRoomList)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES};
    ASSERT_TRUE(::InitCommonControlsEx(&controls));
    Velmor::createThemeBrushes();
    RegisteredClasses classes;
    ASSERT_TRUE(classes.ok());
    // One visible top-level window holds the three as siblings, so that
    // repainting one of them cannot repaint another (and Wine waits for only
    // one window to be unmapped at the end).
    VelmorTest::TestMainWindow host;
    ::ShowWindow(host.handle(), SW_SHOWNOACTIVATE);
    const HWND main = makeWindow(Velmor::kMainWindowClass, WS_CHILD | WS_VISIBLE, host.handle());
    const HWND listView = makeWindow(WC_LISTVIEWW, WS_CHILD | WS_VISIBLE | LVS_REPORT, main, Velmor::idRoomListView);
    const HWND dm = makeWindow(Velmor::kDirectMessageWindowClass, WS_CHILD | WS_VISIBLE, host.handle());
    const HWND toast = makeWindow(Velmor::kToastWindowClass, WS_CHILD | WS_VISIBLE, host.handle());
    ASSERT_TRUE(main && listView && dm && toast);
    clientState().dmWindows[L"amy"] = dm;
    Velmor::setToastWindowForRedraw(toast);
    ::UpdateWindow(host.handle());
    VelmorTest::TestMainWindow::pumpMessages();
    RECT update = {};
    ASSERT_FALSE(::GetUpdateRect(main, &update, FALSE));
    ASSERT_FALSE(::GetUpdateRect(dm, &update, FALSE));
    ASSERT_FALSE(::GetUpdateRect(toast, &update, FALSE));
    RegisteredClasses::paints = 0;

    clientState().uiTheme = 2;
    Velmor::recreateThemeBrushes(main);

    EXPECT_GE(RegisteredClasses::paints, 1) << "the main window is repainted at once";
    EXPECT_TRUE(::GetUpdateRect(dm, &update, FALSE));
    EXPECT_TRUE(::GetUpdateRect(toast, &update, FALSE));
    EXPECT_EQ(static_cast<COLORREF>(::SendMessageW(listView, LVM_GETBKCOLOR, 0, 0)), hex(0xF6F8FB));
    EXPECT_EQ(static_cast<COLORREF>(::SendMessageW(listView, LVM_GETTEXTBKCOLOR, 0, 0)), hex(0xF6F8FB));
    EXPECT_EQ(static_cast<COLORREF>(::SendMessageW(listView, LVM_GETTEXTCOLOR, 0, 0)), hex(0x1F2B3B));

    // A banner that has gone is no longer touched.
    ::DestroyWindow(toast);
    Velmor::recreateThemeBrushes(main);
    EXPECT_TRUE(isLiveBrush(themeBrush(5)));
}

TEST_F(ThemeTest, ControlColoursAnswerEachKindOfControl)
{
    using namespace Velmor;
    VelmorTest::TestMainWindow window({
        {idLogViewBox, L"EDIT", ES_MULTILINE | ES_READONLY},
        {idRoomMessageBox, L"EDIT", ES_AUTOHSCROLL},
        {idTranscriptBox, L"EDIT", ES_MULTILINE | ES_READONLY},
        {idOnlineUsersList, L"LISTBOX", LBS_HASSTRINGS},
        {idSendButton, L"BUTTON", BS_OWNERDRAW},
        {idStatusBar, L"STATIC", 0},
        {idConnectionStatusLabel, L"STATIC", 0},
        {idOnlineCountLabel, L"STATIC", 0},
        {idProductHeaderLabel, L"STATIC", 0},
        {idPageTitleLabel, L"STATIC", 0},
        {idRoomChatLabel, L"STATIC", 0},
        {idNotificationSoundCheck, L"BUTTON", BS_AUTOCHECKBOX},
    });
    clientState().uiTheme = 1;
    createThemeBrushes();
    const HDC dc = ::CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);

    struct Row {
        UINT message;
        int id;
        bool connected;
        int text;
        int background;  // -1: transparent
        int brush;
    };
    const Row rows[] = {
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
        {WM_CTLCOLORSTATIC, idProductHeaderLabel, false, 8, -1, 0},
        {WM_CTLCOLORSTATIC, idPageTitleLabel, false, 8, -1, 0},
        {WM_CTLCOLORSTATIC, idRoomChatLabel, false, 9, -1, 0},
        {WM_CTLCOLORSTATIC, idNotificationSoundCheck, false, 9, -1, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "id " << row.id << " message " << row.message);
        clientState().connected = row.connected;
        // Start from the opposite of what is expected, so each setting is seen to happen.
        ::SetBkMode(dc, row.background < 0 ? OPAQUE : TRANSPARENT);
        ::SetTextColor(dc, RGB(1, 2, 3));
        ::SetBkColor(dc, RGB(1, 2, 3));
        const LRESULT brush = themeControlColor(row.message, reinterpret_cast<WPARAM>(dc),
                                                reinterpret_cast<LPARAM>(window.child(row.id)));
        EXPECT_EQ(::GetTextColor(dc), themePalette(1).colors[row.text]);
        EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), themeBrush(row.brush));
        EXPECT_NE(brush, 0);
        if (row.background < 0) {
            EXPECT_EQ(::GetBkMode(dc), TRANSPARENT);
        } else {
            EXPECT_EQ(::GetBkColor(dc), themePalette(1).colors[row.background]);
            if (row.id == idStatusBar) {
                EXPECT_EQ(::GetBkMode(dc), OPAQUE);
            }
        }
    }
    ::DeleteDC(dc);
}

}  // namespace
