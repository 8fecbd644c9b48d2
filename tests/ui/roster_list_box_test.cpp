// Refilling the native roster list boxes.
#include "ui/roster_list_box.h"

#include "support/test_window.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <random>

namespace {

constexpr int kListId = 1015;
constexpr DWORD kRosterStyle = WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS |
                               LBS_NOINTEGRALHEIGHT;

int textWidth(HWND list, const std::wstring& text)
{
    SIZE size = {};
    const HDC dc = ::GetDC(list);
    const HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HFONT>(::SendMessageW(list, WM_GETFONT, 0, 0)));
    ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    ::SelectObject(dc, previous);
    ::ReleaseDC(list, dc);
    return static_cast<int>(size.cx);
}

// As the player menu subclasses the client's roster list boxes; it counts
// the item messages that reach it (a refill sends its items past it).
int gSubclassAdds = 0;
LRESULT CALLBACK countingSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    gSubclassAdds += message == LB_ADDSTRING || message == LB_INSERTSTRING;
    return ::DefSubclassProc(window, message, wParam, lParam);
}

std::wstring joined(const Velmor::NameList& names)
{
    std::wstring text;
    for (const std::wstring& name : names) text += (text.empty() ? L"" : L",") + name;
    return text;
}

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
    const int width = textWidth(list, wide);
    EXPECT_GT(width, 140);
    EXPECT_EQ(extent, width + 40);
}

// Refills that change a few names edit the list box in place, refills that
// change many rebuild it; either way the items, the selection and the extent
// are exactly those of a list filled afresh.
TEST(RosterListBox, EveryRefillEndsAsAFreshFill)
{
    VelmorTest::TestMainWindow window({{kListId, L"LISTBOX", kRosterStyle}});
    const HWND list = window.child(kListId);
    ::SendMessageW(list, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    std::mt19937 random(20261209);
    int nextName = 0;
    const auto newName = [&] {
        // Widths vary, so the widest name comes and goes.
        return L"p" + std::to_wstring(nextName++) + std::wstring(random() % 40, L'W');
    };
    Velmor::NameList names;
    for (int i = 0; i < 300; ++i) names.push_back(newName());

    for (int round = 0; round < 150; ++round) {
        switch (random() % 7) {
        case 0:  // everyone replaced
            for (auto& name : names) name = newName();
            break;
        case 1:  // reordered
            std::shuffle(names.begin(), names.end(), random);
            break;
        case 2: {  // the widest leaves
            const auto widest = std::max_element(names.begin(), names.end(), [&](const auto& a, const auto& b) {
                return a.size() < b.size();
            });
            if (widest != names.end()) names.erase(widest);
            break;
        }
        case 3:  // one moves to the front (a new host), and a name comes twice
            if (!names.empty()) {
                const auto moved = names.begin() + static_cast<std::ptrdiff_t>(random() % names.size());
                std::rotate(names.begin(), moved, moved + 1);
                names.insert(names.begin() + static_cast<std::ptrdiff_t>(random() % names.size()),
                             names[random() % names.size()]);
            }
            break;
        default: {  // a presence delta: a few leave anywhere, a few arrive at the end
            for (unsigned leaving = random() % 4; leaving > 0 && !names.empty(); --leaving) {
                names.erase(names.begin() + static_cast<std::ptrdiff_t>(random() % names.size()));
            }
            for (unsigned arriving = random() % 4; arriving > 0; --arriving) names.push_back(newName());
            break;
        }
        }
        // Sometimes a name is selected first (or the selection cleared).
        const LRESULT count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
        const LRESULT choice = count > 0 && random() % 2 ? static_cast<LRESULT>(random() % count) : -1;
        ::SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(choice), 0);
        const std::wstring selected = Velmor::selectedListText(list);

        Velmor::fillRosterListBox(list, names);

        ASSERT_EQ(window.listBoxItems(kListId), joined(names)) << "round " << round;
        const bool stillThere = std::find(names.begin(), names.end(), selected) != names.end();
        EXPECT_EQ(Velmor::selectedListText(list), stillThere ? selected : L"") << "round " << round;
        int widest = 0;
        for (const auto& name : names) widest = std::max(widest, textWidth(list, name));
        EXPECT_EQ(::SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0), std::max(widest + 40, 180)) << "round " << round;
    }
}

// A delta edits the items in place rather than emptying the list (which
// would also scroll it back to the top).
TEST(RosterListBox, ADeltaKeepsTheListWhereItWas)
{
    VelmorTest::TestMainWindow window({{kListId, L"LISTBOX", kRosterStyle}});
    const HWND list = window.child(kListId);
    ASSERT_TRUE(::SetWindowSubclass(list, countingSubclass, 1, 0));
    gSubclassAdds = 0;
    Velmor::NameList names;
    for (int i = 0; i < 500; ++i) names.push_back(L"Player" + std::to_wstring(i));
    Velmor::fillRosterListBox(list, names);
    ::SendMessageW(list, LB_SETTOPINDEX, 200, 0);
    const LRESULT top = ::SendMessageW(list, LB_GETTOPINDEX, 0, 0);
    ASSERT_GT(top, 0);

    names.erase(names.begin() + 300);
    names.push_back(L"Arrival");
    Velmor::fillRosterListBox(list, names);
    EXPECT_EQ(window.listBoxItems(kListId), joined(names));
    EXPECT_EQ(::SendMessageW(list, LB_GETTOPINDEX, 0, 0), top);
    // The fill and the edits reached the list box past its subclass.
    EXPECT_EQ(gSubclassAdds, 0);

    // A list changed behind the module's back is rebuilt, not edited.
    ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"stranger"));
    Velmor::fillRosterListBox(list, names);
    EXPECT_EQ(window.listBoxItems(kListId), joined(names));
}

TEST(RosterListBox, MissingListBoxIsIgnored)
{
    Velmor::fillRosterListBox(nullptr, {L"amy"});
    EXPECT_EQ(Velmor::selectedListText(nullptr), L"");
}

}  // namespace
