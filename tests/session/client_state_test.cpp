// Name-list rules, room membership ordering and the worker wake-up rule of
// the central client state.
#include "session/client_state.h"

#include "support/registry.h"
#include "support/test_window.h"
#include "ui/control_ids.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using Velmor::ClientState;
using Velmor::NameList;

namespace {

std::wstring joined(const NameList& names)
{
    std::wstring text;
    for (std::size_t i = 0; i < names.size(); ++i) text += (i ? L"," : L"") + names[i];
    return text;
}

TEST(ClientStateNames, NoteRecentUserMovesToFrontWithoutDuplicates)
{
    ClientState state;
    state.recentUsers = {L"a", L"b", L"c", L"d"};
    state.noteRecentUser(L"c");
    EXPECT_EQ(joined(state.recentUsers), L"c,a,b,d");
    state.noteRecentUser(L"");
    EXPECT_EQ(joined(state.recentUsers), L"c,a,b,d");
    state.noteRecentUser(L"C");  // case-sensitive: a different name
    EXPECT_EQ(joined(state.recentUsers), L"C,c,a,b,d");
}

TEST(ClientStateNames, NoteRecentUserKeepsTwentyMostRecent)
{
    ClientState state;
    for (int i = 1; i <= 20; ++i) state.noteRecentUser(L"user" + std::to_wstring(i));
    ASSERT_EQ(state.recentUsers.size(), 20u);
    EXPECT_EQ(state.recentUsers.back(), L"user1");
    state.noteRecentUser(L"user21");
    ASSERT_EQ(state.recentUsers.size(), 20u);
    EXPECT_EQ(state.recentUsers.front(), L"user21");
    EXPECT_EQ(state.recentUsers.back(), L"user2");  // the oldest fell off

    // A list that arrived longer than the limit is cut back too.
    state.recentUsers.assign(25, L"");
    for (int i = 0; i < 25; ++i) state.recentUsers[i] = L"n" + std::to_wstring(i);
    state.noteRecentUser(L"n3");
    EXPECT_EQ(state.recentUsers.size(), 20u);
    EXPECT_EQ(state.recentUsers.front(), L"n3");
}

TEST(ClientStateNames, IsServerBlockedIsExactAndNeverForEmptyNames)
{
    ClientState state;
    state.blockedUsers = {L"", L"Mallory"};
    EXPECT_FALSE(state.isServerBlocked(L""));
    EXPECT_TRUE(state.isServerBlocked(L"Mallory"));
    EXPECT_FALSE(state.isServerBlocked(L"mallory"));
    EXPECT_FALSE(state.isServerBlocked(L"Mallory "));
}

TEST(ClientStateRoom, HostStandsFirstIgnoringCase)
{
    ClientState state;
    state.roomHost = L"alice";
    state.roomMembers = {L"Bob", L"ALICE", L"carol"};
    state.orderRoomMembers();
    EXPECT_EQ(joined(state.roomMembers), L"ALICE,Bob,carol");

    // Already first, or no host, or host not a member: nothing moves.
    state.orderRoomMembers();
    EXPECT_EQ(joined(state.roomMembers), L"ALICE,Bob,carol");
    state.roomHost = L"dave";
    state.orderRoomMembers();
    EXPECT_EQ(joined(state.roomMembers), L"ALICE,Bob,carol");
    state.roomHost.clear();
    state.roomMembers = {L"x", L"y"};
    state.orderRoomMembers();
    EXPECT_EQ(joined(state.roomMembers), L"x,y");
}

TEST(ClientStateRoom, HostMatchNeedsTheSameLength)
{
    ClientState state;
    state.roomHost = L"al";
    state.roomMembers = {L"bob", L"alice", L"AL"};
    state.orderRoomMembers();
    EXPECT_EQ(joined(state.roomMembers), L"AL,bob,alice");
}

TEST(ClientStateRoom, MembershipIsCaseSensitive)
{
    ClientState state;
    state.addRoomMember(L"bob");
    state.addRoomMember(L"bob");
    state.addRoomMember(L"");
    state.addRoomMember(L"Bob");
    EXPECT_EQ(joined(state.roomMembers), L"bob,Bob");

    state.roomHost = L"BOB";
    state.addRoomMember(L"zed");
    EXPECT_EQ(joined(state.roomMembers), L"bob,Bob,zed");  // the first case-insensitive match is the host

    state.removeRoomMember(L"BOB");  // exact: removes nothing
    EXPECT_EQ(joined(state.roomMembers), L"bob,Bob,zed");
    state.removeRoomMember(L"bob");
    EXPECT_EQ(joined(state.roomMembers), L"Bob,zed");
}

TEST(ClientStateRoom, MemberChangesRefillTheRoomMembersListBox)
{
    VelmorTest::TestMainWindow window({{Velmor::idRoomMembersList, L"LISTBOX", LBS_HASSTRINGS | LBS_NOTIFY}});
    ClientState state;
    state.roomHost = L"host";
    state.addRoomMember(L"guest");
    state.addRoomMember(L"HOST");
    EXPECT_EQ(window.listBoxItems(Velmor::idRoomMembersList), L"HOST,guest");

    state.removeRoomMember(L"guest");
    EXPECT_EQ(window.listBoxItems(Velmor::idRoomMembersList), L"HOST");

    state.currentRoom = L"lobby";
    state.roomJoined = true;
    state.setDesiredRoom("lobby");
    state.resetRoom();
    EXPECT_FALSE(state.roomJoined);
    EXPECT_TRUE(state.currentRoom.empty());
    EXPECT_TRUE(state.roomHost.empty());
    EXPECT_TRUE(state.roomMembers.empty());
    EXPECT_EQ(state.readDesiredRoom(), "");
    EXPECT_EQ(window.listBoxItems(Velmor::idRoomMembersList), L"");
}

TEST(ClientStateRoom, RemovingANonMemberStillRefillsTheList)
{
    VelmorTest::TestMainWindow window({{Velmor::idRoomMembersList, L"LISTBOX", LBS_HASSTRINGS | LBS_NOTIFY}});
    ClientState state;
    state.roomMembers = {L"amy", L"bob"};
    ::SendMessageW(window.child(Velmor::idRoomMembersList), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"stale"));
    state.removeRoomMember(L"nobody");
    EXPECT_EQ(joined(state.roomMembers), L"amy,bob");
    EXPECT_EQ(window.listBoxItems(Velmor::idRoomMembersList), L"amy,bob");
}

TEST(ClientStateNames, RemovalTakesEveryRepeatedEntry)
{
    ClientState state;
    state.roomMembers = {L"amy", L"bob", L"amy", L"cy", L"amy"};
    state.removeRoomMember(L"amy");
    EXPECT_EQ(joined(state.roomMembers), L"bob,cy");

    state.recentUsers = {L"x", L"amy", L"y", L"amy"};
    state.noteRecentUser(L"amy");
    EXPECT_EQ(joined(state.recentUsers), L"amy,x,y");
}

TEST(ClientStateSession, UsernameAndDesiredRoomAreCopiesUnderTheLock)
{
    ClientState state;
    EXPECT_EQ(state.readUsername(), "");
    state.setUsername("Zo\xC3\xAB");
    EXPECT_EQ(state.readUsername(), "Zo\xC3\xAB");
    state.setDesiredRoom("room 1");
    EXPECT_EQ(state.readDesiredRoom(), "room 1");
    state.clearDesiredRoom();
    EXPECT_EQ(state.readDesiredRoom(), "");
}

// Waits up to `limit` for `done`; true when it held.
template <typename Done>
bool waitFor(Done done, std::chrono::milliseconds limit = std::chrono::seconds(30))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// A waiter that tests the name and then sleeps must be woken by a name set
// right after its test. The waiter keeps workerLock for 50 ms between its test
// and its wait, so a setter that notified without taking and releasing the
// lock first would notify into that gap, every time, and the waiter would
// sleep for ever.
TEST(ClientStateSession, WaiterCannotMissANameSetJustAfterItTested)
{
    for (int round = 0; round < 3; ++round) {
        ClientState state;
        std::atomic<bool> tested{false};
        std::atomic<bool> woke{false};
        std::thread waiter([&] {
            std::unique_lock lock(state.workerLock);
            while (state.readUsername().empty()) {
                tested = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                state.workerWake.wait(lock);  // no time limit: a missed wake-up hangs
            }
            woke = true;
        });
        ASSERT_TRUE(waitFor([&] { return tested.load(); }));
        state.setUsername("amy");
        const bool wokeInTime = waitFor([&] { return woke.load(); });
        if (!wokeInTime) {
            // Let the thread end (the name is set now) so the test can report.
            { std::lock_guard lock(state.workerLock); }
            state.workerWake.notify_all();
        }
        waiter.join();
        ASSERT_TRUE(wokeInTime) << "the waiter missed the wake-up in round " << round;
    }
}

TEST(ClientStateSession, WakeWorkersReachesEveryWaiter)
{
    ClientState state;
    std::atomic<int> waiting{0};
    std::atomic<int> finished{0};
    auto waitForShutdown = [&] {
        std::unique_lock lock(state.workerLock);
        ++waiting;
        state.workerWake.wait(lock, [&] { return state.shuttingDown.load(); });
        ++finished;
    };
    std::thread first(waitForShutdown);
    std::thread second(waitForShutdown);
    ASSERT_TRUE(waitFor([&] { return waiting == 2; }));
    state.shuttingDown = true;
    state.wakeWorkers();
    const bool bothWoke = waitFor([&] { return finished == 2; });
    const int woke = finished;
    if (!bothWoke) {
        { std::lock_guard lock(state.workerLock); }
        state.workerWake.notify_all();  // release the threads so the test can report
    }
    first.join();
    second.join();
    EXPECT_TRUE(bothWoke) << woke << " of 2 waiters woke (notify-one, or no notification at all?)";
}

TEST(ClientStateStorage, SaveStoredListsWritesTheThreeLists)
{
    VelmorTest::deleteSettingsKey();
    ClientState state;
    state.friends = {L"amy", L"bo"};
    state.recentUsers = {L"cy"};
    state.saveStoredLists();
    DWORD type = 0;
    std::vector<unsigned char> data;
    ASSERT_TRUE(VelmorTest::readRawValue(L"Friends", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(data.size(), (4 + 3 + 1) * sizeof(wchar_t));  // amy, bo and the final zero
    ASSERT_TRUE(VelmorTest::readRawValue(L"RecentUsers", type, data));
    EXPECT_EQ(data.size(), (3 + 1) * sizeof(wchar_t));
    ASSERT_TRUE(VelmorTest::readRawValue(L"BlockedUsers", type, data));
    EXPECT_EQ(data.size(), 4u);  // empty list: two zero units
    VelmorTest::deleteSettingsKey();
}

}  // namespace
