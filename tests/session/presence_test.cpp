// Full snapshots, presence deltas and room lists against a stand-in main window.
#include "session/presence.h"

#include "support/main_window_fixture.h"
#include "support/registry.h"
#include "ui/control_ids.h"

#include <gtest/gtest.h>

#include <commctrl.h>

using namespace Velmor;

namespace {

JsonValue parse(const std::string& text)
{
    auto value = parseJsonDocument(text);
    EXPECT_TRUE(value) << text;
    return value ? *value : JsonValue{};
}

std::wstring joined(const NameList& names)
{
    std::wstring text;
    for (std::size_t i = 0; i < names.size(); ++i) text += (i ? L"," : L"") + names[i];
    return text;
}

bool recentUsersStored()
{
    DWORD type = 0;
    std::vector<unsigned char> data;
    return VelmorTest::readRawValue(L"RecentUsers", type, data);
}

// Watches one list box of the stand-in window: how often it was refilled
// (each refill, whole or by a few edits, suspends redrawing once), and
// whether it is waiting to be redrawn. The window and the box
// are shown (never activated) so that the system keeps their update regions.
class ListBoxWatch {
public:
    ListBoxWatch(const VelmorTest::SessionWindow& window, int id) : box_(window.child(id))
    {
        ::ShowWindow(window.handle(), SW_SHOWNOACTIVATE);
        ::ShowWindow(box_, SW_SHOWNA);
        ::SetWindowSubclass(box_, &ListBoxWatch::count, 1, reinterpret_cast<DWORD_PTR>(this));
        forget();
    }
    ~ListBoxWatch() { ::RemoveWindowSubclass(box_, &ListBoxWatch::count, 1); }
    ListBoxWatch(const ListBoxWatch&) = delete;
    ListBoxWatch& operator=(const ListBoxWatch&) = delete;

    void forget()
    {
        ::ValidateRect(box_, nullptr);
        refills_ = 0;
    }
    int refills() const { return refills_; }
    bool invalidated() const
    {
        RECT pending = {};
        return ::GetUpdateRect(box_, &pending, FALSE) != FALSE;
    }

private:
    static LRESULT CALLBACK count(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR self)
    {
        if (message == WM_SETREDRAW && wParam == FALSE) ++reinterpret_cast<ListBoxWatch*>(self)->refills_;
        return ::DefSubclassProc(window, message, wParam, lParam);
    }

    HWND box_;
    int refills_ = 0;
};

class PresenceTest : public ::testing::Test {
protected:
    void SetUp() override { VelmorTest::deleteSettingsKey(); }
    void TearDown() override { VelmorTest::deleteSettingsKey(); }
    VelmorTest::SessionWindow window;
    ClientState state;
};

TEST_F(PresenceTest, SnapshotSkipsBlanksAndRepeatsAndTrimsNames)
{
    applyUsersList(state, parse(R"({"users":["bob"," bob ","",  "amy","bob",7,true,null,["x"]]})"));
    EXPECT_EQ(joined(state.onlineUsers), L"bob,amy,7,true");
    EXPECT_EQ(window.listBox(idOnlineUsersList), L"bob,amy,7,true");
    EXPECT_EQ(window.label(idOnlineCountLabel), L"ONLINE NOW  \u00B7  4");
}

TEST_F(PresenceTest, NewNamesGoToTheFrontOfTheRecentListUnlessTheMessageCarriesOne)
{
    state.onlineUsers = {L"amy"};
    state.recentUsers = {L"old"};
    applyUsersList(state, parse(R"({"users":["amy","bob","cy"]})"));
    EXPECT_EQ(joined(state.recentUsers), L"cy,bob,old");  // each new name noted in order
    EXPECT_EQ(window.listBox(idRecentUsersList), L"cy,bob,old");
    EXPECT_TRUE(recentUsersStored());

    applyUsersList(state, parse(R"({"users":["amy","bob","cy","dee"],"recent_users":["zed","zed"," yan "]})"));
    EXPECT_EQ(joined(state.recentUsers), L"zed,yan");  // the server's list overrides what was noted
}

TEST_F(PresenceTest, AnIdenticalSnapshotChangesAndWritesNothing)
{
    applyUsersList(state, parse(R"({"users":["amy","bob"],"recent_users":["amy"]})"));
    VelmorTest::deleteSettingsKey();
    const NameList online = state.onlineUsers;
    const NameList recent = state.recentUsers;
    applyUsersList(state, parse(R"({"users":["amy","bob"],"recent_users":["amy"]})"));
    EXPECT_EQ(state.onlineUsers, online);
    EXPECT_EQ(state.recentUsers, recent);
    EXPECT_FALSE(recentUsersStored());
}

TEST_F(PresenceTest, RosterListBoxesAreRefilledAndRedrawnOnlyOnChange)
{
    ListBoxWatch online(window, idOnlineUsersList);
    ListBoxWatch friends(window, idFriendsList);
    ListBoxWatch recent(window, idRecentUsersList);
    ListBoxWatch members(window, idRoomMembersList);
    ListBoxWatch* const all[] = {&online, &friends, &recent, &members};
    const auto forgetAll = [&] {
        for (ListBoxWatch* watch : all) watch->forget();
    };
    ASSERT_FALSE(online.invalidated());

    applyUsersList(state, parse(R"({"users":["amy","bob"],"recent_users":["amy"]})"));
    EXPECT_EQ(online.refills(), 1);
    EXPECT_EQ(recent.refills(), 1);
    EXPECT_EQ(friends.refills() + members.refills(), 0);  // they are only redrawn
    for (ListBoxWatch* watch : all) EXPECT_TRUE(watch->invalidated());

    // The periodic refresh brings the same snapshot: nothing is touched.
    forgetAll();
    applyUsersList(state, parse(R"({"users":["amy","bob"],"recent_users":["amy"]})"));
    applyPresenceDelta(state, parse(R"({"went_offline":["nobody"],"recent_users":["amy"]})"));
    for (ListBoxWatch* watch : all) {
        EXPECT_EQ(watch->refills(), 0);
        EXPECT_FALSE(watch->invalidated());
    }

    // Only the online list changes: the recent list box keeps its items.
    applyPresenceDelta(state, parse(R"({"went_online":["cy"],"recent_users":["amy"]})"));
    EXPECT_EQ(online.refills(), 1);
    EXPECT_EQ(recent.refills(), 0);
    EXPECT_TRUE(friends.invalidated());
    EXPECT_TRUE(recent.invalidated());
    EXPECT_TRUE(members.invalidated());

    // Only the recent list changes: the online list box and the lists that
    // mark who is online are left alone.
    forgetAll();
    applyUsersList(state, parse(R"({"users":["amy","bob","cy"],"recent_users":["bob"]})"));
    EXPECT_EQ(online.refills(), 0);
    EXPECT_FALSE(online.invalidated());
    EXPECT_FALSE(friends.invalidated());
    EXPECT_FALSE(members.invalidated());
    EXPECT_EQ(recent.refills(), 1);

    // A name that leaves and comes back in one delta changes the list only
    // when it was not the last one.
    forgetAll();
    applyPresenceDelta(state, parse(R"({"went_offline":["cy"],"went_online":["cy"],"recent_users":["bob"]})"));
    EXPECT_EQ(online.refills(), 0);
    EXPECT_FALSE(friends.invalidated());
    applyPresenceDelta(state, parse(R"({"went_offline":["bob"],"went_online":["bob"],"recent_users":["bob"]})"));
    EXPECT_EQ(online.refills(), 1);
    EXPECT_EQ(window.listBox(idOnlineUsersList), L"amy,cy,bob");
    applyPresenceDelta(state, parse(R"({"went_offline":["cy","bob"],"went_online":["bob","cy"],"recent_users":["bob"]})"));
    EXPECT_EQ(online.refills(), 2);  // the same names in another order
    EXPECT_EQ(window.listBox(idOnlineUsersList), L"amy,bob,cy");
}

TEST_F(PresenceTest, OnlineCountWithoutAUsersArray)
{
    state.onlineUsers = {L"amy", L"bob"};
    applyUsersList(state, parse(R"({"online_count":7})"));
    EXPECT_EQ(window.label(idOnlineCountLabel), L"ONLINE NOW  \u00B7  7");
    EXPECT_EQ(state.onlineUsers.size(), 2u);
    applyUsersList(state, parse(R"({"online_count":-3})"));
    EXPECT_EQ(window.label(idOnlineCountLabel), L"ONLINE NOW  \u00B7  0");
    applyUsersList(state, parse(R"({"online_count":"12 people"})"));
    EXPECT_EQ(window.label(idOnlineCountLabel), L"ONLINE NOW  \u00B7  12");
    applyUsersList(state, parse(R"({"online_count":[1]})"));  // unreadable: the list's length
    EXPECT_EQ(window.label(idOnlineCountLabel), L"ONLINE NOW  \u00B7  2");
    applyUsersList(state, parse(R"({"users":["x"],"online_count":99})"));  // a users array wins
    EXPECT_EQ(window.label(idOnlineCountLabel), L"ONLINE NOW  \u00B7  1");
}

TEST_F(PresenceTest, WrongKindsAreSkipped)
{
    state.onlineUsers = {L"amy"};
    state.recentUsers = {L"bob"};
    applyUsersList(state, parse(R"({"users":"amy,bob","recent_users":{"a":1}})"));
    EXPECT_EQ(joined(state.onlineUsers), L"amy");
    EXPECT_EQ(joined(state.recentUsers), L"bob");
    applyPresenceDelta(state, parse(R"({"went_offline":"amy","went_online":5})"));
    EXPECT_EQ(joined(state.onlineUsers), L"amy");
}

TEST_F(PresenceTest, DeltaNotesArrivalsEvenWhenAlreadyOnline)
{
    state.onlineUsers = {L"amy", L"bob"};
    state.recentUsers = {L"cy", L"bob"};
    applyPresenceDelta(state, parse(R"({"went_online":["bob"]})"));
    EXPECT_EQ(joined(state.onlineUsers), L"amy,bob");
    EXPECT_EQ(joined(state.recentUsers), L"bob,cy");
    EXPECT_EQ(window.listBox(idRecentUsersList), L"bob,cy");

    applyPresenceDelta(state, parse(R"({"went_online":["dee",""," dee "],"recent_users":[]})"));
    EXPECT_EQ(joined(state.onlineUsers), L"amy,bob,dee");
    EXPECT_TRUE(state.recentUsers.empty());
    EXPECT_EQ(window.label(idOnlineCountLabel), L"ONLINE NOW  \u00B7  3");
}

TEST_F(PresenceTest, DeltaWithARecentMemberOfTheWrongKindNotesNothing)
{
    state.onlineUsers = {L"amy"};
    state.recentUsers = {L"cy"};
    // The member is there, so arrivals are not noted; it is not an array, so
    // it does not replace the list either.
    applyPresenceDelta(state, parse(R"({"went_online":["bob"],"recent_users":"bob"})"));
    EXPECT_EQ(joined(state.onlineUsers), L"amy,bob");
    EXPECT_EQ(joined(state.recentUsers), L"cy");
    EXPECT_FALSE(recentUsersStored());
}

TEST_F(PresenceTest, DepartureMatchesExactly)
{
    state.onlineUsers = {L"Amy", L"bob", L"Amy"};
    applyPresenceDelta(state, parse(R"({"went_offline":["amy"]})"));
    EXPECT_EQ(joined(state.onlineUsers), L"Amy,bob,Amy");
    applyPresenceDelta(state, parse(R"({"went_offline":["Amy"," bob"]})"));
    EXPECT_EQ(joined(state.onlineUsers), L"");
    EXPECT_EQ(window.listBox(idOnlineUsersList), L"");
    EXPECT_EQ(window.label(idOnlineCountLabel), L"ONLINE NOW  \u00B7  0");
}

TEST_F(PresenceTest, RecentListNeverExceedsTwenty)
{
    std::string names;
    for (int i = 0; i < 30; ++i) names += (i ? ",\"u" : "\"u") + std::to_string(i) + "\"";
    applyUsersList(state, parse(R"({"users":[)" + names + "]}"));
    EXPECT_EQ(state.onlineUsers.size(), 30u);
    ASSERT_EQ(state.recentUsers.size(), 20u);
    EXPECT_EQ(state.recentUsers.front(), L"u29");
    applyPresenceDelta(state, parse(R"({"recent_users":[)" + names + "]}"));
    ASSERT_EQ(state.recentUsers.size(), 20u);
    EXPECT_EQ(state.recentUsers.front(), L"u0");
}

TEST_F(PresenceTest, RoomListRowsAndColumns)
{
    applyRoomsList(state, parse(R"({"rooms":[
        {"name":"Lobby","game":"Age","host":"amy","users":3,"max_players":8},
        {"name":"Named users","users":["a","b"],"players":4},
        {"name":"Text count","players":"5"},
        {"name":" spaced ","game":"","host":"","max_players":0},
        "not an object",
        {"name":"Max only","players":2,"max_players":"6"}
    ]})"));
    const std::vector<std::wstring> expected = {
        L"Lobby|Age|3/8|amy",
        L"Named users|Stronghold Crusader|0|",
        L"Text count|Stronghold Crusader|5|",
        L" spaced |Stronghold Crusader|0|",
        L"|Stronghold Crusader|0|",
        L"Max only|Stronghold Crusader|2/6|",
    };
    EXPECT_EQ(window.roomRows(), expected);

    applyRoomsList(state, parse(R"({"type":"rooms_list"})"));  // no array: the list empties
    EXPECT_TRUE(window.roomRows().empty());
}

TEST_F(PresenceTest, CurrentRoomRowSetsTheHost)
{
    state.currentRoom = L"Lobby";
    state.roomHost = L"old";
    applyRoomsList(state, parse(R"({"rooms":[{"name":"Lobby","host":"amy"},{"name":"Lobby","host":"bob"}]})"));
    EXPECT_EQ(state.roomHost, L"bob");  // a later row with the same name wins
    applyRoomsList(state, parse(R"({"rooms":[{"name":"Lobby","host":""}]})"));
    EXPECT_EQ(state.roomHost, L"bob");
    applyRoomsList(state, parse(R"({"rooms":[{"name":"lobby","host":"cy"}]})"));
    EXPECT_EQ(state.roomHost, L"bob");  // exact comparison
}

TEST(PresenceWithoutWindow, RoomListNeedsTheListView)
{
    ClientState state;
    state.currentRoom = L"Lobby";
    applyRoomsList(state, *parseJsonDocument(R"({"rooms":[{"name":"Lobby","host":"amy"}]})"));
    EXPECT_EQ(state.roomHost, L"");  // no list view: not even the host is taken
}

}  // namespace
