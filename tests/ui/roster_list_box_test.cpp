// Refilling the native roster list boxes.
#include "ui/roster_list_box.h"

#include "support/test_window.h"

#include <gtest/gtest.h>

namespace {

constexpr int kListId = 1015;

TEST(RosterListBox, RefillKeepsTheSelectedNameWhenStillPresent)
{
    VelmorTest::TestMainWindow window({{kListId, L"LISTBOX", LBS_HASSTRINGS | LBS_NOTIFY | WS_HSCROLL}});
    const HWND list = window.child(kListId);
    Velmor::fillRosterListBox(list, {L"amy", L"bob", L"cy"});
    EXPECT_EQ(window.listBoxItems(kListId), L"amy,bob,cy");
    EXPECT_EQ(Velmor::selectedListText(list), L"");

    ::SendMessageW(list, LB_SETCURSEL, 1, 0);
    EXPECT_EQ(Velmor::selectedListText(list), L"bob");
    Velmor::fillRosterListBox(list, {L"zed", L"amy", L"bob"});
    EXPECT_EQ(window.listBoxItems(kListId), L"zed,amy,bob");
    EXPECT_EQ(Velmor::selectedListText(list), L"bob");

    Velmor::fillRosterListBox(list, {L"amy", L"BOB"});  // exact comparison: no selection
    EXPECT_EQ(Velmor::selectedListText(list), L"");

    Velmor::fillRosterListBox(list, {});
    EXPECT_EQ(::SendMessageW(list, LB_GETCOUNT, 0, 0), 0);
}

TEST(RosterListBox, HorizontalExtentFollowsTheWidestName)
{
    VelmorTest::TestMainWindow window({{kListId, L"LISTBOX", LBS_HASSTRINGS | WS_HSCROLL}});
    const HWND list = window.child(kListId);
    Velmor::fillRosterListBox(list, {L"a"});
    EXPECT_EQ(::SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0), 180);

    const std::wstring wide(200, L'W');
    Velmor::fillRosterListBox(list, {L"a", wide});
    const LRESULT extent = ::SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0);
    SIZE size = {};
    const HDC dc = ::GetDC(list);
    const HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(list, WM_GETFONT, 0, 0)));
    ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    ::SelectObject(dc, previous);
    ::ReleaseDC(list, dc);
    EXPECT_GT(size.cx, 140);
    EXPECT_EQ(extent, size.cx + 40);
}

TEST(RosterListBox, MissingListBoxIsIgnored)
{
    Velmor::fillRosterListBox(nullptr, {L"amy"});
    EXPECT_EQ(Velmor::selectedListText(nullptr), L"");
}

}  // namespace
