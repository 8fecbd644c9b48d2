// Button colours, roster row height, and the subclasses of the hidden controls.
#include "recording_main_window.h"
#include "ui/control_ids.h"
#include "ui/native_surface.h"
#include "ui/theme.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

using namespace Velmor;
using VelmorTest::RecordingMainWindow;

TEST(ButtonColours, PrimarySecondaryAndStatesInPriorityOrder)
{
    const COLORREF* role = themePalette(2).colors;
    const COLORREF white = RGB(255, 255, 255);
    const struct {
        int id;
        UINT state;
        COLORREF fill, border, text;
    } rows[] = {
        {idDmSendButton, 0, role[18], role[10], white},
        {idRemoveFriendButton, 0, role[19], role[20], role[8]},
        {idConnectButton, ODS_HOTLIGHT | ODS_SELECTED, role[10], role[10], white},
        {idRemoveFriendButton, ODS_HOTLIGHT, role[5], role[20], role[8]},
        {idLeaveRoomButton, ODS_SELECTED | ODS_FOCUS, role[12], role[20], role[8]},
        // Disabled beats primary and every other state.
        {idDmSendButton, ODS_DISABLED | ODS_HOTLIGHT | ODS_SELECTED, role[22], role[6], role[21]},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "id " << row.id << " state " << row.state);
        const ButtonColors colors = chooseButtonColors(row.id, row.state, 2);
        EXPECT_EQ(colors.fill, row.fill);
        EXPECT_EQ(colors.border, row.border);
        EXPECT_EQ(colors.text, row.text);
    }
    for (const int id : {1002, 1006, 1008, 1012, 1018, 4103}) EXPECT_TRUE(isPrimaryButton(id)) << id;
    for (const int id : {1007, 1014, 1019, 1020, 1031}) EXPECT_FALSE(isPrimaryButton(id)) << id;
}

TEST(RosterRows, AreMeasuredOnlyForTheFourRosterLists)
{
    MEASUREITEMSTRUCT item = {ODT_LISTBOX, static_cast<UINT>(idRoomMembersList), 0, 0, 16, 0};
    EXPECT_TRUE(measureRosterListItem(item));
    EXPECT_EQ(item.itemHeight, 27u);
    MEASUREITEMSTRUCT other = {ODT_LISTBOX, static_cast<UINT>(idRoomListView), 0, 0, 16, 0};
    EXPECT_FALSE(measureRosterListItem(other));
    EXPECT_EQ(other.itemHeight, 16u);
}

// Installed under the subclass being tested: records what it passes on.
std::vector<UINT> gPassedOn;
LRESULT CALLBACK spyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_KEYDOWN || message == WM_CHAR) gPassedOn.push_back(message << 16 | static_cast<UINT>(wParam));
    return ::DefSubclassProc(window, message, wParam, lParam);
}

TEST(RoomMessageSubclass, EnterSendsTheRoomMessageCommandAndIsNotPassedOn)
{
    RecordingMainWindow parent;
    const HWND edit = parent.addChild(L"EDIT", WS_BORDER | ES_AUTOHSCROLL, idRoomMessageBox);
    ASSERT_TRUE(::SetWindowSubclass(edit, &spyProc, 99, 0));
    ASSERT_TRUE(installRoomMessageSubclass(edit));
    gPassedOn.clear();

    // Posted key-downs go through TranslateMessage as typed keys do.
    ::PostMessageW(edit, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    ::PostMessageW(edit, WM_KEYDOWN, 'A', 0x001E0001);
    RecordingMainWindow::pump();
    EXPECT_EQ(parent.commands, std::vector<int>{idSendButton});
    EXPECT_EQ(gPassedOn, (std::vector<UINT>{WM_KEYDOWN << 16 | 'A', WM_CHAR << 16 | 'a'}));
}

class RosterListSubclassTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        list = parent.addChild(L"LISTBOX", LBS_HASSTRINGS | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, idFriendsList);
        for (const wchar_t* name : {L"amy", L"bob", L"cy"}) {
            ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        }
        ASSERT_TRUE(installRosterListSubclass(list));
    }
    // Client coordinates of row 0, 1, 2, or 10 pixels below the last (3).
    LPARAM at(int row, bool screen = false) const
    {
        RECT rect = {};
        ::SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(std::min(row, 2)), reinterpret_cast<LPARAM>(&rect));
        POINT point = {20, row > 2 ? rect.bottom + 10 : (rect.top + rect.bottom) / 2};
        if (screen) ::ClientToScreen(list, &point);
        return MAKELPARAM(point.x, point.y);
    }
    int selection() const { return static_cast<int>(::SendMessageW(list, LB_GETCURSEL, 0, 0)); }
    void send(UINT message, LPARAM lParam) const
    {
        ::SendMessageW(list, message, message == WM_CONTEXTMENU ? reinterpret_cast<WPARAM>(list) : 0, lParam);
        RecordingMainWindow::pump();
    }

    RecordingMainWindow parent;
    HWND list = nullptr;
};

TEST_F(RosterListSubclassTest, LeftClickOnARowPostsAndBelowTheRowsDoesNot)
{
    send(WM_LBUTTONDOWN, at(1));
    send(WM_LBUTTONUP, at(1));
    EXPECT_EQ(selection(), 1) << "the list handles the click itself first";
    EXPECT_EQ(parent.menuRequests, std::vector<int>{idFriendsList});
    send(WM_LBUTTONUP, at(3));
    EXPECT_EQ(parent.menuRequests.size(), 1u);
}

TEST_F(RosterListSubclassTest, ContextMenuSelectsTheRowUnderTheMouse)
{
    send(WM_CONTEXTMENU, at(2, true));
    EXPECT_EQ(selection(), 2);
    EXPECT_EQ(parent.menuRequests.size(), 1u);

    send(WM_CONTEXTMENU, at(3, true));  // no row: consumed, nothing posted
    EXPECT_EQ(selection(), 2);
    EXPECT_EQ(parent.menuRequests.size(), 1u);
    EXPECT_EQ(parent.contextMenus, 0);

    ::SendMessageW(list, LB_SETCURSEL, 0, 0);
    send(WM_CONTEXTMENU, MAKELPARAM(-1, -1));  // keyboard: the selection stays
    EXPECT_EQ(selection(), 0);
    EXPECT_EQ(parent.menuRequests, (std::vector<int>{idFriendsList, idFriendsList}));
}

}  // namespace
