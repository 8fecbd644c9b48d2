// Name-list rules, room membership ordering and the worker wake-up rule of
// the central client state.
#include "session/client_state.h"

#include "support/registry.h"
#include "support/test_window.h"
#include "ui/control_ids.h"

#include <gtest/gtest.h>

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

// A waiter that tests the name and then sleeps must be woken by a name set
// right after its test. The waiter holds workerLock while testing, so the
// setter's lock-and-release cannot complete between the test and the sleep.
TEST(ClientStateSession, WaiterCannotMissANameSetJustAfterItTested)
{
    for (int round = 0; round < 200; ++round) {
        ClientState state;
        std::atomic<bool> tested{false};
        std::atomic<bool> woke{false};
        std::thread waiter([&] {
            std::unique_lock lock(state.workerLock);
            while (state.readUsername().empty()) {
                tested = true;
                state.workerWake.wait(lock);  // no time limit: a missed wake-up hangs
            }
            woke = true;
        });
        while (!tested) std::this_thread::yield();
        state.setUsername("amy");
        // The wait has no time limit, so a lost wake-up shows as a waiter that
        // never finishes; give it far more time than it needs before failing.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!woke && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
        if (!woke) {
            state.wakeWorkers();  // let the thread end so the test can report
            waiter.join();
            FAIL() << "the waiter missed the wake-up in round " << round;
        }
        waiter.join();
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
    while (waiting < 2) std::this_thread::yield();
    state.shuttingDown = true;
    state.wakeWorkers();
    first.join();
    second.join();
    EXPECT_EQ(finished, 2);
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
