// The owner-drawn painters and the subclasses of the hidden controls.
#include "platform/app_messages.h"
#include "recording_main_window.h"
#include "session/client_state.h"
#include "ui/control_ids.h"
#include "ui/native_surface.h"
#include "ui/theme.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace Velmor;

// --- Button colours ------------------------------------------------------------

TEST(ButtonColours, PrimarySecondaryAndStatesInPriorityOrder)
{
    const COLORREF* role = themePalette(0).colors;
    const COLORREF white = RGB(255, 255, 255);
    struct Row {
        int id;
        UINT state;
        COLORREF fill, border, text;
    };
    const Row rows[] = {
        {idConnectButton, 0, role[18], role[10], white},
        {idDmSendButton, 0, role[18], role[10], white},
        {idAddFriendButton, 0, role[18], role[10], white},
        {idRemoveFriendButton, 0, role[19], role[20], role[8]},
        {idCopyLogButton, 0, role[19], role[20], role[8]},
        {idConnectButton, ODS_HOTLIGHT, role[10], role[10], white},
        {idRemoveFriendButton, ODS_HOTLIGHT, role[5], role[20], role[8]},
        {idSendButton, ODS_SELECTED, role[18], role[10], white},
        {idLeaveRoomButton, ODS_SELECTED, role[12], role[20], role[8]},
        // Disabled beats primary, hot and pressed; hot beats pressed.
        {idDmSendButton, ODS_DISABLED, role[22], role[6], role[21]},
        {idDmSendButton, ODS_DISABLED | ODS_HOTLIGHT | ODS_SELECTED, role[22], role[6], role[21]},
        {idLeaveRoomButton, ODS_DISABLED | ODS_SELECTED, role[22], role[6], role[21]},
        {idLeaveRoomButton, ODS_HOTLIGHT | ODS_SELECTED, role[5], role[20], role[8]},
        // Focus changes no colour.
        {idCreateRoomButton, ODS_FOCUS, role[18], role[10], white},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "id " << row.id << " state " << row.state);
        const ButtonColors colors = chooseButtonColors(row.id, row.state, 0);
        EXPECT_EQ(colors.fill, row.fill);
        EXPECT_EQ(colors.border, row.border);
        EXPECT_EQ(colors.text, row.text);
    }
    EXPECT_EQ(chooseButtonColors(idJoinRoomButton, 0, 2).fill, themePalette(2).colors[18]);
    EXPECT_EQ(chooseButtonColors(idRefreshButton, 0, 2).text, themePalette(2).colors[8]);
}

// --- Painting into a bitmap ------------------------------------------------------

class Canvas {
public:
    Canvas(int width, int height) : dc_(::CreateCompatibleDC(nullptr))
    {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        bitmap_ = ::CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        previous_ = ::SelectObject(dc_, bitmap_);
    }
    ~Canvas()
    {
        ::SelectObject(dc_, previous_);
        ::DeleteObject(bitmap_);
        ::DeleteDC(dc_);
    }
    HDC dc() const { return dc_; }
    COLORREF at(int x, int y) const { return ::GetPixel(dc_, x, y); }
    int count(COLORREF color, RECT area) const
    {
        int found = 0;
        for (int y = area.top; y < area.bottom; ++y) {
            for (int x = area.left; x < area.right; ++x) found += at(x, y) == color;
        }
        return found;
    }

private:
    HDC dc_;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

DRAWITEMSTRUCT drawItem(HDC dc, UINT type, int id, HWND control, UINT state, RECT rect, UINT itemId = 0)
{
    DRAWITEMSTRUCT item = {};
    item.CtlType = type;
    item.CtlID = static_cast<UINT>(id);
    item.itemID = itemId;
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = state;
    item.hwndItem = control;
    item.hDC = dc;
    item.rcItem = rect;
    return item;
}

class PainterTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        clientState().uiTheme = 0;
        clientState().activePage = pageRoomChat;
        clientState().onlineUsers.clear();
        clientState().blockedUsers.clear();
    }
};

TEST_F(PainterTest, ButtonPainterFillsBordersAndLabels)
{
    clientState().uiTheme = 1;
    const COLORREF* role = themePalette(1).colors;
    const HWND button = ::CreateWindowExW(0, L"BUTTON", L"Send", WS_POPUP | BS_OWNERDRAW, 0, 0, 90, 30, nullptr,
                                          nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(button, nullptr);
    Canvas canvas(90, 30);
    const RECT rect = {0, 0, 90, 30};

    paintOwnerDrawnButton(drawItem(canvas.dc(), ODT_BUTTON, idDmSendButton, button, 0, rect));
    EXPECT_EQ(canvas.at(0, 15), role[10]) << "border";
    EXPECT_EQ(canvas.at(3, 15), role[18]) << "fill";
    EXPECT_GT(canvas.count(RGB(255, 255, 255), {20, 5, 70, 25}), 0) << "white label";

    paintOwnerDrawnButton(drawItem(canvas.dc(), ODT_BUTTON, idDmSendButton, button, ODS_DISABLED, rect));
    EXPECT_EQ(canvas.at(0, 15), role[6]);
    EXPECT_EQ(canvas.at(3, 15), role[22]);
    EXPECT_EQ(canvas.count(RGB(255, 255, 255), {20, 5, 70, 25}), 0);
    EXPECT_GT(canvas.count(role[21], {20, 5, 70, 25}), 0) << "disabled label";

    // Nothing is drawn for item -1.
    ::FillRect(canvas.dc(), &rect, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
    paintOwnerDrawnButton(drawItem(canvas.dc(), ODT_BUTTON, idDmSendButton, button, 0, rect, static_cast<UINT>(-1)));
    EXPECT_EQ(canvas.at(3, 15), RGB(0, 0, 0));
    ::DestroyWindow(button);
}

TEST_F(PainterTest, NavigationButtonsShowTheActivePage)
{
    const COLORREF* role = themePalette(0).colors;
    Canvas canvas(120, 36);
    const RECT rect = {0, 0, 120, 36};
    clientState().activePage = pagePeople;
    paintOwnerDrawnButton(drawItem(canvas.dc(), ODT_BUTTON, idNavPeople, nullptr, 0, rect));
    EXPECT_EQ(canvas.at(60, 2), role[12]);
    EXPECT_EQ(canvas.at(0, 18), role[10]);
    paintOwnerDrawnButton(drawItem(canvas.dc(), ODT_BUTTON, idNavDiagnostics, nullptr, 0, rect));
    EXPECT_EQ(canvas.at(60, 2), role[3]);
    EXPECT_EQ(canvas.at(0, 18), role[6]);
}

TEST_F(PainterTest, RosterRowsAndTheirHeight)
{
    const COLORREF* role = themePalette(0).colors;
    const HWND list = ::CreateWindowExW(0, L"LISTBOX", L"", WS_POPUP | LBS_HASSTRINGS, 0, 0, 200, 100, nullptr,
                                        nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(list, nullptr);
    ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"amy"));
    Canvas canvas(200, 27);
    const RECT rect = {0, 0, 200, 27};
    paintRosterListItem(drawItem(canvas.dc(), ODT_LISTBOX, idFriendsList, list, 0, rect));
    EXPECT_EQ(canvas.at(198, 1), role[5]);
    paintRosterListItem(drawItem(canvas.dc(), ODT_LISTBOX, idFriendsList, list, ODS_SELECTED, rect));
    EXPECT_EQ(canvas.at(198, 1), role[12]);
    ::DestroyWindow(list);

    for (const int id : {idOnlineUsersList, idFriendsList, idRecentUsersList, idRoomMembersList}) {
        MEASUREITEMSTRUCT measure = {ODT_LISTBOX, static_cast<UINT>(id), 0, 0, 16, 0};
        EXPECT_TRUE(measureRosterListItem(measure));
        EXPECT_EQ(measure.itemHeight, 27u);
    }
    MEASUREITEMSTRUCT other = {ODT_LISTBOX, static_cast<UINT>(idRoomListView), 0, 0, 16, 0};
    EXPECT_FALSE(measureRosterListItem(other));
    EXPECT_EQ(other.itemHeight, 16u);
    MEASUREITEMSTRUCT menu = {ODT_MENU, static_cast<UINT>(idFriendsList), 0, 0, 16, 0};
    EXPECT_FALSE(measureRosterListItem(menu));
}

// --- Subclasses ----------------------------------------------------------------

// Installed under the subclass being tested: sees what it passes on.
std::vector<UINT> gPassedOn;
LRESULT CALLBACK spyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_KEYDOWN || message == WM_CHAR) gPassedOn.push_back(message << 16 | static_cast<UINT>(wParam));
    return ::DefSubclassProc(window, message, wParam, lParam);
}

TEST(RoomMessageSubclass, EnterSendsTheRoomMessageCommandAndIsNotPassedOn)
{
    VelmorTest::RecordingMainWindow parent;
    const HWND edit = parent.addChild(L"EDIT", WS_BORDER | ES_AUTOHSCROLL, idRoomMessageBox);
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(::SetWindowSubclass(edit, &spyProc, 99, 0));
    ASSERT_TRUE(installRoomMessageSubclass(edit));
    gPassedOn.clear();

    // Posted key-downs go through TranslateMessage like typed keys: Enter,
    // Shift+Enter (same key message) and an ordinary letter.
    ::PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    VelmorTest::RecordingMainWindow::pump();
    EXPECT_EQ(parent.commands, std::vector<int>{idSendButton});
    ::PostMessageW(edit, WM_KEYDOWN, 'A', 0x001E0001);
    VelmorTest::RecordingMainWindow::pump();

    EXPECT_EQ(parent.commands, std::vector<int>{idSendButton});
    const std::vector<UINT> expected = {WM_KEYDOWN << 16 | 'A', WM_CHAR << 16 | 'a'};
    EXPECT_EQ(gPassedOn, expected) << "only the letter reaches the edit";
    wchar_t text[8] = {};
    ::GetWindowTextW(edit, text, 8);
    EXPECT_STREQ(text, L"a");
}

class RosterListSubclassTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        list = parent.addChild(L"LISTBOX", LBS_HASSTRINGS | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, idFriendsList);
        ASSERT_NE(list, nullptr);
        for (const wchar_t* name : {L"amy", L"bob", L"cy"}) {
            ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        }
        ASSERT_TRUE(installRosterListSubclass(list));
        VelmorTest::RecordingMainWindow::pump();
    }

    POINT rowCentre(int row) const
    {
        RECT rect = {};
        ::SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect));
        return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    }
    POINT belowLastRow() const
    {
        RECT rect = {};
        ::SendMessageW(list, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&rect));
        return {20, rect.bottom + 10};
    }
    LPARAM screen(POINT point) const
    {
        ::ClientToScreen(list, &point);
        return MAKELPARAM(point.x, point.y);
    }
    int selection() const { return static_cast<int>(::SendMessageW(list, LB_GETCURSEL, 0, 0)); }
    int menuRequests() const { return static_cast<int>(parent.menuRequests.size()); }

    VelmorTest::RecordingMainWindow parent;
    HWND list = nullptr;
};

TEST_F(RosterListSubclassTest, LeftClickOnARowPostsAndBelowTheRowsDoesNot)
{
    const POINT onBob = rowCentre(1);
    ::SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(onBob.x, onBob.y));
    ::SendMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(onBob.x, onBob.y));
    VelmorTest::RecordingMainWindow::pump();
    EXPECT_EQ(menuRequests(), 1);
    EXPECT_EQ(selection(), 1) << "the list handled the click itself first";

    const POINT below = belowLastRow();
    ::SendMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(below.x, below.y));
    VelmorTest::RecordingMainWindow::pump();
    EXPECT_EQ(parent.menuRequests, std::vector<int>{idFriendsList});
}

TEST_F(RosterListSubclassTest, ContextMenuSelectsTheRowUnderTheMouseAndPosts)
{
    ::SendMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), screen(rowCentre(2)));
    VelmorTest::RecordingMainWindow::pump();
    EXPECT_EQ(selection(), 2);
    EXPECT_EQ(menuRequests(), 1);

    // No row under the mouse: consumed, nothing posted, selection kept.
    ::SendMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), screen(belowLastRow()));
    VelmorTest::RecordingMainWindow::pump();
    EXPECT_EQ(selection(), 2);
    EXPECT_EQ(menuRequests(), 1);
    EXPECT_EQ(parent.contextMenus, 0) << "the request must not reach the parent";

    // From the keyboard: posts for the current selection without changing it.
    ::SendMessageW(list, LB_SETCURSEL, 0, 0);
    ::SendMessageW(list, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(list), MAKELPARAM(-1, -1));
    VelmorTest::RecordingMainWindow::pump();
    EXPECT_EQ(selection(), 0);
    EXPECT_EQ(parent.menuRequests, (std::vector<int>{idFriendsList, idFriendsList}));
}

}  // namespace
