// The connection worker and the keep-alive thread against the local server
// over real TLS (run through scripts/lib/with_local_server.sh). Each test runs
// its own session on its own ClientState and names its own user, so the
// server's request record tells the tests apart.
#include "session/session.h"

#include "diagnostics/diagnostic_log.h"
#include "json/json_value.h"
#include "session/session_rules.h"
#include "support/server_control.h"
#include "support/log_folder.h"
#include "support/test_window.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <functional>
#include <thread>

using namespace Velmor;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Pumps the stand-in main window's messages until `done` holds or the time
// runs out; true when it held.
bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    for (;;) {
        VelmorTest::TestMainWindow::pumpMessages();
        if (done()) return true;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
}

std::size_t countStatus(const std::wstring& text)
{
    std::size_t count = 0;
    for (const std::wstring& status : VelmorTest::TestMainWindow::statusTexts()) count += status == text ? 1 : 0;
    return count;
}

struct RecordedRequest {
    std::string type;
    std::string text;
};

std::vector<RecordedRequest> requestsFrom(const VelmorTest::ServerControl& control, const std::string& user)
{
    std::vector<RecordedRequest> requests;
    for (const std::string& line : control.requestLines()) {
        const auto record = parseJsonDocument(line);
        if (!record || memberText(*record, "user") != user) continue;
        requests.push_back({memberText(*record, "type"), memberText(*record, "text")});
    }
    return requests;
}

std::size_t countType(const std::vector<RecordedRequest>& requests, const std::string& type)
{
    std::size_t count = 0;
    for (const RecordedRequest& request : requests) count += request.type == type ? 1 : 0;
    return count;
}

std::size_t threadCount()
{
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    std::size_t count = 0;
    for (BOOL more = ::Thread32First(snapshot, &entry); more; more = ::Thread32Next(snapshot, &entry)) {
        count += entry.th32OwnerProcessID == ::GetCurrentProcessId() ? 1 : 0;
    }
    ::CloseHandle(snapshot);
    return count;
}

class SessionIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override { control.get("/reset"); }
    void TearDown() override
    {
        stopSession(state, threads);
        control.get("/clear_faults");
    }

    void start(const std::string& user, const std::string& room = {})
    {
        state.setUsername(user);
        if (!room.empty()) state.setDesiredRoom(room);
        startSession(state, threads);
    }
    bool waitConnected(std::chrono::milliseconds limit = 20s)
    {
        return pumpUntil([&] { return state.connected.load(); }, limit);
    }

    VelmorTest::ServerControl control;
    VelmorTest::TestMainWindow window;
    ClientState state;
    SessionThreads threads;
};

TEST_F(SessionIntegrationTest, AfterConnectingTheClientSynchronisesAndRejoinsInOrder)
{
    start("syncer", "Den \"of\" Lions");
    ASSERT_TRUE(waitConnected());
    std::vector<RecordedRequest> requests;
    ASSERT_TRUE(pumpUntil([&] { return (requests = requestsFrom(control, "syncer")).size() >= 4; }, 10s));
    EXPECT_EQ(requests[0].type, "list_users");
    EXPECT_EQ(requests[1].type, "list_rooms");
    EXPECT_EQ(requests[2].type, "list_blocked");
    EXPECT_EQ(requests[3].type, "join_room");
    EXPECT_EQ(requests[0].text, R"({"type":"list_users"})");
    EXPECT_EQ(requests[3].text, R"({"type":"join_room","room":"Den \"of\" Lions"})");

    // The server's answers reach the interface thread as whole messages (the
    // room does not exist, so the join is refused with an error).
    EXPECT_TRUE(pumpUntil(
        [&] {
            bool connected = false;
            bool refused = false;
            for (const std::string& text : VelmorTest::TestMainWindow::serverTexts()) {
                connected = connected || text.find("\"type\":\"connected\"") != std::string::npos;
                refused = refused || text.find("\"context\":\"join\"") != std::string::npos;
            }
            return connected && refused;
        },
        10s));
    EXPECT_EQ(countStatus(L"Connecting to server..."), 1u);
    EXPECT_EQ(countStatus(L"Connected. Syncing presence and rooms..."), 1u);
}

TEST_F(SessionIntegrationTest, ADroppedLinkIsRetriedAfterOneSecond)
{
    start("dropper");
    ASSERT_TRUE(waitConnected());
    control.get("/drop?user=dropper");
    ASSERT_TRUE(pumpUntil([&] { return countStatus(L"Connection lost. Reconnecting...") == 1; }, 10s));
    EXPECT_TRUE(pumpUntil([&] { return countStatus(L"Offline. Retrying in 1 seconds") == 1; }, 5s));
    ASSERT_TRUE(pumpUntil([&] { return countType(requestsFrom(control, "dropper"), "list_users") == 2; }, 15s));
    EXPECT_TRUE(state.connected);
    EXPECT_EQ(countStatus(L"Connected. Syncing presence and rooms..."), 2u);
}

TEST_F(SessionIntegrationTest, OnlyTheBarePongCountsAsLifeAndASilentLinkIsReplaced)
{
    start("quiet");
    ASSERT_TRUE(waitConnected());

    // A bare ping is answered with the bare pong, which refreshes the clock.
    state.lastActivityTick = 1;
    ASSERT_TRUE(sendRawText(state, "ping"));
    EXPECT_TRUE(pumpUntil([&] { return state.lastActivityTick > 1; }, 5s));

    // A "pong" inside the JSON envelope is an ordinary message.
    const std::uint64_t before = state.lastActivityTick = ::GetTickCount64() - kSilenceLimitMs - 5000;
    control.get("/fault?name=ignore_pings");
    control.get("/send?user=quiet&text=" + VelmorTest::ServerControl::encode(R"({"type":"pong"})"));
    ASSERT_TRUE(pumpUntil(
        [&] {
            for (const std::string& text : VelmorTest::TestMainWindow::serverTexts()) {
                if (text == R"({"type":"pong"})") return true;
            }
            return false;
        },
        5s));
    EXPECT_EQ(state.lastActivityTick, before);

    // The next keep-alive tick finds the link silent and drops it; the worker
    // reconnects by itself.
    ASSERT_TRUE(pumpUntil([&] { return countStatus(L"Connection lost. Reconnecting...") == 1; }, 15s));
    EXPECT_TRUE(pumpUntil([&] { return countType(requestsFrom(control, "quiet"), "list_users") >= 2; }, 15s));
}

TEST_F(SessionIntegrationTest, StoppingInARoomLeavesItBeforeTheConnectionCloses)
{
    start("leaver", "Hall");
    ASSERT_TRUE(waitConnected());
    ASSERT_TRUE(pumpUntil([&] { return countType(requestsFrom(control, "leaver"), "join_room") == 1; }, 10s));
    stopSession(state, threads);
    EXPECT_FALSE(state.connected);
    EXPECT_FALSE(threads.worker.joinable());
    EXPECT_FALSE(threads.keepAlive.joinable());
    std::vector<RecordedRequest> requests;
    const bool left = pumpUntil([&] { return !(requests = requestsFrom(control, "leaver")).empty() &&
                                             requests.back().type == "leave_room"; },
                                5s);
    ASSERT_TRUE(left) << requests.size() << " requests, the last one: " << (requests.empty() ? "" : requests.back().text);
}

TEST_F(SessionIntegrationTest, StoppingWhileOfflineEndsTheWaitAtOnce)
{
    control.get("/fault?name=refuse_upgrade&status=403");
    start("refused");
    // Waits of 1 and 2 seconds pass; stop during the 4-second one.
    ASSERT_TRUE(pumpUntil([&] { return countStatus(L"Offline. Retrying in 4 seconds") == 1; }, 20s));
    const auto stopped = Clock::now();
    stopSession(state, threads);
    EXPECT_LT(Clock::now() - stopped, 3s);
    EXPECT_EQ(countStatus(L"Connecting to server..."), 3u);  // no attempt after the stop
    VelmorTest::TestMainWindow::pumpMessages();
    EXPECT_EQ(countStatus(L"Connecting to server..."), 3u);
    EXPECT_EQ(countStatus(L"The server rejected the WebSocket upgrade (HTTP 403)."), 3u);
}

TEST_F(SessionIntegrationTest, FiftyReconnectsLeakNoThreadsOrHandles)
{
    // Every connection is closed by the server right after the upgrade.
    control.get("/fault?name=close_after_handshake&code=1000&reason=bye");
    start("churn");
    ASSERT_TRUE(pumpUntil([&] { return countStatus(L"Connection lost. Reconnecting...") >= 5; }, 30s));
    DWORD handlesBefore = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handlesBefore);
    const std::size_t threadsBefore = threadCount();

    ASSERT_TRUE(pumpUntil([&] { return countStatus(L"Connection lost. Reconnecting...") >= 55; }, 150s));
    DWORD handlesAfter = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handlesAfter);
    const std::size_t threadsAfter = threadCount();
    // One handle or thread kept per connection would add 50.
    EXPECT_LT(handlesAfter, handlesBefore + 15) << handlesBefore << " -> " << handlesAfter;
    EXPECT_LE(threadsAfter, threadsBefore + 3) << threadsBefore << " -> " << threadsAfter;
    EXPECT_EQ(countStatus(L"Offline. Retrying in 2 seconds"), 0u);  // every wait starts at 1 again
}

}  // namespace
