// The connection worker and the keep-alive thread against the local server
// over real TLS (run through scripts/lib/with_local_server.sh). Each test runs
// its own session on its own ClientState and names its own user, so the
// server's request record tells the tests apart.
#include "session/session.h"

#include "build_config.h"
#include "diagnostics/diagnostic_log.h"
#include "json/json_value.h"
#include "session/session_rules.h"
#include "support/server_control.h"
#include "support/log_folder.h"
#include "support/test_window.h"
#include "json/text_encoding.h"
#include "transport/websocket_connection.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
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

// Whole log lines, time stamps ("hh:mm:ss.mmm ") included, from the one after
// `marker` on (every test writes its own marker first).
std::vector<std::wstring> stampedLinesAfter(const std::wstring& marker)
{
    std::vector<std::wstring> lines;
    for (const LogEntry& entry : DiagnosticLog::snapshot()) {
        if (entry.text.size() > 13 && entry.text.compare(13, std::wstring::npos, L"[INFO] " + marker) == 0) {
            lines.clear();
            continue;
        }
        lines.push_back(entry.text);
    }
    return lines;
}

std::wstring withoutStamp(const std::wstring& line) { return line.size() > 13 ? line.substr(13) : line; }

// The same lines without their time stamps.
std::vector<std::wstring> logLinesAfter(const std::wstring& marker)
{
    std::vector<std::wstring> lines = stampedLinesAfter(marker);
    for (std::wstring& line : lines) line = withoutStamp(line);
    return lines;
}

// Times of day in milliseconds. The log stamps a line when it is written, on
// the thread that writes it, so intervals between a worker's notices do not
// depend on how late the interface thread got to them.
constexpr int kDayMs = 24 * 60 * 60 * 1000;

int timeOfDay(unsigned hours, unsigned minutes, unsigned seconds, unsigned milliseconds)
{
    return static_cast<int>(((hours * 60 + minutes) * 60 + seconds) * 1000 + milliseconds);
}

int timeOfDayNow()
{
    SYSTEMTIME now = {};
    ::GetLocalTime(&now);
    return timeOfDay(now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
}

int msBetween(int earlier, int later) { return (later - earlier + kDayMs) % kDayMs; }

// When each log line after `marker` that reads `line` was written.
std::vector<int> loggedAt(const std::wstring& marker, const std::wstring& line)
{
    std::vector<int> times;
    for (const std::wstring& stamped : stampedLinesAfter(marker)) {
        unsigned hours = 0, minutes = 0, seconds = 0, milliseconds = 0;
        if (withoutStamp(stamped) == line &&
            ::swscanf(stamped.c_str(), L"%2u:%2u:%2u.%3u", &hours, &minutes, &seconds, &milliseconds) == 4) {
            times.push_back(timeOfDay(hours, minutes, seconds, milliseconds));
        }
    }
    return times;
}

std::size_t countLines(const std::vector<std::wstring>& lines, const std::wstring& line)
{
    std::size_t count = 0;
    for (const std::wstring& candidate : lines) count += candidate == line ? 1 : 0;
    return count;
}

std::size_t countLinesStartingWith(const std::vector<std::wstring>& lines, const std::wstring& prefix)
{
    std::size_t count = 0;
    for (const std::wstring& candidate : lines) count += candidate.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
}

bool isListed(const VelmorTest::ServerControl& control, const std::string& user)
{
    const std::vector<std::string> users = control.users();
    return std::find(users.begin(), users.end(), user) != users.end();
}

std::shared_ptr<VelmorTransport::WebSocketConnection> connectionOf(ClientState& state)
{
    std::lock_guard lock(state.connectionLock);
    return state.connection;
}

class SessionIntegrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        control.get("/reset");
        marker = L"---- " + utf8ToUtf16(::testing::UnitTest::GetInstance()->current_test_info()->name());
        DiagnosticLog::write(kLevelInfo, marker);
    }
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
    bool waitConnected(std::chrono::milliseconds limit = 60s)
    {
        return pumpUntil([&] { return state.connected.load(); }, limit);
    }

    std::vector<std::wstring> log() const { return logLinesAfter(marker); }

    VelmorTest::ServerControl control;
    VelmorTest::TestMainWindow window;
    ClientState state;
    SessionThreads threads;
    std::wstring marker;
};

TEST_F(SessionIntegrationTest, AfterConnectingTheClientSynchronisesAndRejoinsInOrder)
{
    start("syncer", "Den \"of\" Lions");
    ASSERT_TRUE(waitConnected());
    std::vector<RecordedRequest> requests;
    ASSERT_TRUE(pumpUntil([&] { return (requests = requestsFrom(control, "syncer")).size() >= 4; }, 30s));
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
        30s));
    EXPECT_EQ(countStatus(L"Connecting to server..."), 1u);
    EXPECT_EQ(countStatus(L"Connected. Syncing presence and rooms..."), 1u);

    // The notices at their levels; requests by their type alone, in order.
    const std::vector<std::wstring> lines = log();
    EXPECT_EQ(countLines(lines, L"[WARN] Connecting to server..."), 1u);
    EXPECT_EQ(countLines(lines, L"[INFO] Connected. Syncing presence and rooms..."), 1u);
    std::vector<std::wstring> sent;
    for (const std::wstring& line : lines) {
        if (line.find(L"WS TX") != std::wstring::npos) sent.push_back(line);
        EXPECT_EQ(line.find(L"Lions"), std::wstring::npos) << "a member reached the log: " << utf16ToUtf8(line);
    }
    EXPECT_EQ(sent, (std::vector<std::wstring>{L"[TRACE] WS TX: list_users", L"[TRACE] WS TX: list_rooms",
                                               L"[TRACE] WS TX: list_blocked", L"[TRACE] WS TX: join_room"}));
}

TEST_F(SessionIntegrationTest, AWorkerWithoutANameWaitsSilentlyUntilOneIsSet)
{
    startSession(state, threads);
    ASSERT_TRUE(pumpUntil([&] { return countStatus(L"Please enter your name to connect.") == 1; }, 30s));
    // Nothing else happens, however long it waits.
    pumpUntil([] { return false; }, 1500ms);
    EXPECT_EQ(VelmorTest::TestMainWindow::statusTexts(),
              std::vector<std::wstring>{L"Please enter your name to connect."});
    EXPECT_EQ(countLines(log(), L"[WARN] Please enter your name to connect."), 1u);
    EXPECT_TRUE(control.requestLines().empty());
    EXPECT_TRUE(control.users().empty());

    // A name starts the attempt at once.
    state.setUsername("latecomer");
    ASSERT_TRUE(waitConnected());
    // The worker sets the flag before it posts its notice.
    EXPECT_TRUE(pumpUntil([] { return countStatus(L"Connected. Syncing presence and rooms...") == 1; }, 30s));
    EXPECT_EQ(VelmorTest::TestMainWindow::statusTexts(),
              (std::vector<std::wstring>{L"Please enter your name to connect.", L"Connecting to server...",
                                         L"Connected. Syncing presence and rooms..."}));
    EXPECT_TRUE(pumpUntil([&] { return countType(requestsFrom(control, "latecomer"), "list_users") == 1; }, 30s));
}

TEST_F(SessionIntegrationTest, ADroppedLinkIsRetriedAfterOneSecond)
{
    start("dropper");
    ASSERT_TRUE(waitConnected());
    control.get("/drop?user=dropper");
    ASSERT_TRUE(pumpUntil([&] { return countStatus(L"Connection lost. Reconnecting...") == 1; }, 30s));
    EXPECT_TRUE(pumpUntil([&] { return countStatus(L"Offline. Retrying in 1 seconds") == 1; }, 30s));
    ASSERT_TRUE(pumpUntil([&] { return countType(requestsFrom(control, "dropper"), "list_users") == 2; }, 30s));
    EXPECT_TRUE(state.connected);
    // The server hears the new link's requests before the window may have
    // the notice posted just ahead of them.
    EXPECT_TRUE(pumpUntil([] { return countStatus(L"Connected. Syncing presence and rooms...") == 2; }, 30s));

    const std::vector<std::wstring> lines = log();
    EXPECT_EQ(countLinesStartingWith(lines, L"[WARN] WebSocket RX: "), 1u);  // the receive failure, with its text
    EXPECT_EQ(countLines(lines, L"[WARN] WebSocket RX: "), 0u);
    EXPECT_EQ(countLines(lines, L"[WARN] Connection lost. Reconnecting..."), 1u);
    EXPECT_EQ(countLines(lines, L"[WARN] Offline. Retrying in 1 seconds"), 1u);
}

// Every step before the last keeps the link well inside the silence limit, so
// a keep-alive tick falling anywhere in them changes nothing.
TEST_F(SessionIntegrationTest, OnlyTheBarePongCountsAsLifeAndASilentLinkIsReplaced)
{
    const auto started = Clock::now();
    start("quiet");
    ASSERT_TRUE(waitConnected());

    // A bare ping is answered with the bare pong, which refreshes the clock;
    // the ping itself is not logged.
    const std::uint64_t recent = state.lastActivityTick = ::GetTickCount64() - 1000;
    ASSERT_TRUE(sendRawText(state, "ping"));
    EXPECT_TRUE(pumpUntil([&] { return state.lastActivityTick > recent; }, 30s));
    for (const std::wstring& line : log()) EXPECT_EQ(line.find(L"ping"), std::wstring::npos) << utf16ToUtf8(line);

    // A "pong" inside the JSON envelope is an ordinary message. With pings
    // unanswered, nothing else can refresh the clock meanwhile.
    control.get("/fault?name=ignore_pings");
    const std::uint64_t before = state.lastActivityTick = ::GetTickCount64() - 1000;
    control.get("/send?user=quiet&text=" + VelmorTest::ServerControl::encode(R"({"type":"pong"})"));
    ASSERT_TRUE(pumpUntil(
        [&] {
            for (const std::string& text : VelmorTest::TestMainWindow::serverTexts()) {
                if (text == R"({"type":"pong"})") return true;
            }
            return false;
        },
        30s));
    EXPECT_EQ(state.lastActivityTick, before);

    // Now silent: the next keep-alive tick drops the link and the worker
    // reconnects by itself. Names set meanwhile wake the keep-alive thread but
    // do not shorten its 10-second wait, so the drop cannot come before the
    // first tick after the start.
    state.lastActivityTick = ::GetTickCount64() - kSilenceLimitMs - 5000;
    ASSERT_TRUE(pumpUntil(
        [&] {
            state.setUsername("quiet");
            return countStatus(L"Connection lost. Reconnecting...") == 1;
        },
        40s));
    const auto dropped = Clock::now() - started;
    EXPECT_GE(dropped, 9500ms) << std::chrono::duration_cast<std::chrono::milliseconds>(dropped).count() << " ms";
    EXPECT_TRUE(pumpUntil([&] { return countType(requestsFrom(control, "quiet"), "list_users") >= 2; }, 30s));
}

// The check and the taking of the connection are one step under
// connectionLock, where the worker stores each new link with a fresh tick.
TEST_F(SessionIntegrationTest, TheSilenceCheckTakesOnlyALinkThatIsStillSilent)
{
    start("checked");
    ASSERT_TRUE(waitConnected());
    const auto first = connectionOf(state);
    ASSERT_TRUE(first);

    // A link (re)opened after the clock was read is not silent at that time.
    const std::uint64_t now = ::GetTickCount64();
    state.lastActivityTick = now;
    std::shared_ptr<VelmorTransport::WebSocketConnection> stale;
    EXPECT_FALSE(takeSilentConnection(state, now, stale));
    EXPECT_FALSE(takeSilentConnection(state, now + kSilenceLimitMs, stale));
    EXPECT_FALSE(stale);
    EXPECT_EQ(connectionOf(state), first);

    EXPECT_TRUE(takeSilentConnection(state, now + kSilenceLimitMs + 1, stale));
    EXPECT_EQ(stale, first);
    EXPECT_FALSE(connectionOf(state));
    stale->cancel();
    ASSERT_TRUE(pumpUntil([&] { return countType(requestsFrom(control, "checked"), "list_users") == 2; }, 30s));
    EXPECT_NE(connectionOf(state), first);
}

TEST_F(SessionIntegrationTest, ANewNameDoesNotBringTheNextAttemptForward)
{
    control.get("/fault?name=refuse_upgrade&status=403");
    start("waker");
    ASSERT_TRUE(pumpUntil([&] { return countStatus(L"Offline. Retrying in 1 seconds") == 1; }, 30s));
    const auto waitBegan = Clock::now();
    int round = 0;
    while (countStatus(L"Connecting to server...") < 2 && Clock::now() - waitBegan < 30s) {
        state.setUsername(++round % 2 ? "waker-renamed" : "waker");
        VelmorTest::TestMainWindow::pumpMessages();
        std::this_thread::sleep_for(5ms);
    }
    ASSERT_EQ(countStatus(L"Connecting to server..."), 2u);
    // Timed by the worker's own stamps: the window may see the first notice late.
    const std::vector<int> offline = loggedAt(marker, L"[WARN] Offline. Retrying in 1 seconds");
    const std::vector<int> attempts = loggedAt(marker, L"[WARN] Connecting to server...");
    ASSERT_EQ(offline.size(), 1u);
    ASSERT_GE(attempts.size(), 2u);
    EXPECT_GE(msBetween(offline[0], attempts[1]), 800) << msBetween(offline[0], attempts[1]) << " ms";
    EXPECT_TRUE(pumpUntil([&] { return countStatus(L"Offline. Retrying in 2 seconds") == 1; }, 30s));

    // Each attempt was refused once. A late pump may have let a third begin,
    // which the stop may cut short before its refusal is logged.
    stopSession(state, threads);
    const std::vector<std::wstring> lines = log();
    const std::size_t refused = countLines(lines, L"[WARN] The server rejected the WebSocket upgrade (HTTP 403).");
    const std::size_t attempted = countLines(lines, L"[WARN] Connecting to server...");
    EXPECT_GE(refused, 2u);
    EXPECT_TRUE(refused == attempted || refused + 1 == attempted) << refused << " of " << attempted;
    EXPECT_EQ(countLines(lines, L"[WARN] Offline. Retrying in 1 seconds"), 1u);
}

TEST_F(SessionIntegrationTest, StoppingInARoomLeavesItBeforeTheConnectionCloses)
{
    start("leaver", "Hall");
    ASSERT_TRUE(waitConnected());
    ASSERT_TRUE(pumpUntil([&] { return countType(requestsFrom(control, "leaver"), "join_room") == 1; }, 30s));
    stopSession(state, threads);
    EXPECT_FALSE(state.connected);
    EXPECT_FALSE(threads.worker.joinable());
    EXPECT_FALSE(threads.keepAlive.joinable());
    std::vector<RecordedRequest> requests;
    const bool left = pumpUntil([&] { return !(requests = requestsFrom(control, "leaver")).empty() &&
                                             requests.back().type == "leave_room"; },
                                30s);
    ASSERT_TRUE(left) << requests.size() << " requests, the last one: " << (requests.empty() ? "" : requests.back().text);
    // The cancelled receive is the shutdown's own doing: not reported.
    const std::vector<std::wstring> lines = log();
    EXPECT_EQ(countLinesStartingWith(lines, L"[WARN] WebSocket RX: "), 0u);
    EXPECT_EQ(countLines(lines, L"[WARN] Connection lost. Reconnecting..."), 0u);
    EXPECT_EQ(countLines(lines, L"[TRACE] WS TX: leave_room"), 1u);
}

TEST_F(SessionIntegrationTest, StoppingOutsideARoomSendsNoLeave)
{
    start("roomless");
    ASSERT_TRUE(waitConnected());
    ASSERT_TRUE(pumpUntil([&] { return countType(requestsFrom(control, "roomless"), "list_blocked") == 1; }, 30s));

    // A join needs a room and a name; without either nothing is sent.
    EXPECT_FALSE(sendJoinRoom(state, ""));
    state.setUsername("");
    EXPECT_FALSE(sendJoinRoom(state, "Hall"));
    state.setUsername("roomless");
    for (const std::wstring& line : log()) EXPECT_EQ(line.find(L"join_room"), std::wstring::npos) << utf16ToUtf8(line);

    stopSession(state, threads);
    // A "leave_room" would have been sent before stopSession returned; give
    // the server a moment to record it. (Wine's WinHTTP keeps the socket of a
    // cancelled connection open while its receive is pending, so the server
    // may go on listing the user.)
    pumpUntil([] { return false; }, 1s);
    const std::vector<RecordedRequest> requests = requestsFrom(control, "roomless");
    EXPECT_EQ(countType(requests, "leave_room"), 0u);
    EXPECT_EQ(countType(requests, "join_room"), 0u);
    EXPECT_EQ(countLines(log(), L"[WARN] WS TX failed: leave_room"), 0u);
}

TEST_F(SessionIntegrationTest, StoppingDuringAnOpenWaitsForItThenCancelsWithoutSending)
{
    control.get("/fault?name=delay_upgrade&ms=2500");
    start("opener", "Hall");
    ASSERT_TRUE(pumpUntil([&] { return countStatus(L"Connecting to server...") == 1; }, 30s));
    pumpUntil([] { return false; }, 300ms);  // the open is under way; its answer is 2.5 s off

    stopSession(state, threads);
    // The upgrade is answered 2.5 s after the worker announced the attempt,
    // however late this thread saw the announcement.
    const int stoppedAt = timeOfDayNow();
    const std::vector<int> attempts = loggedAt(marker, L"[WARN] Connecting to server...");
    ASSERT_EQ(attempts.size(), 1u);
    EXPECT_GE(msBetween(attempts[0], stoppedAt), 2000)
        << "stopSession returned before the open had finished: " << msBetween(attempts[0], stoppedAt) << " ms";
    EXPECT_FALSE(threads.worker.joinable());
    EXPECT_FALSE(threads.keepAlive.joinable());
    EXPECT_FALSE(state.connected);
    EXPECT_FALSE(connectionOf(state));

    // The open succeeded (a failure would have been announced) and the new
    // connection was cancelled before anything was sent on it.
    VelmorTest::TestMainWindow::pumpMessages();
    EXPECT_EQ(VelmorTest::TestMainWindow::statusTexts(), std::vector<std::wstring>{L"Connecting to server..."});
    EXPECT_TRUE(control.waitForUser("opener", false));
    EXPECT_TRUE(requestsFrom(control, "opener").empty());
    EXPECT_EQ(countLinesStartingWith(log(), L"[TRACE] WS TX"), 0u);
}

TEST_F(SessionIntegrationTest, ReceivedMessagesWaitWhileTheInterfaceHasTooManyInHand)
{
    start("flooded");
    ASSERT_TRUE(waitConnected());
    // What the interface thread takes in hand is given back, as the main
    // window does after each dispatch, except while the test holds it back.
    std::size_t handled = 0;
    const auto handOver = [&] {
        VelmorTest::TestMainWindow::pumpMessages();
        const auto& footprints = VelmorTest::TestMainWindow::serverFootprints();
        for (; handled < footprints.size(); ++handled) releaseServerText(state, footprints[handled]);
    };
    ASSERT_TRUE(pumpUntil([&] { return VelmorTest::TestMainWindow::serverTexts().size() >= 4; }, 30s));
    handOver();
    ASSERT_EQ(state.serverTextsInFlight.load(), 0u);

    // A large message counts twice against the bound once read: its text and
    // the parsed string of its padding.
    constexpr std::size_t kLarge = 950000;
    const auto largeCount = [] {
        std::size_t count = 0;
        for (const std::string& text : VelmorTest::TestMainWindow::serverTexts()) count += text.size() == kLarge;
        return count;
    };
    // One at a time, each sent once the one before has reached the
    // interface thread: the server, too, drops a client that has more than
    // 8 MiB waiting to go out, and Wine reads slowly under load.
    const auto sendLargeUntil = [&](std::size_t count) {
        while (largeCount() < count) {
            const std::size_t before = largeCount();
            control.get("/send_large?user=flooded&bytes=" + std::to_string(kLarge));
            if (!pumpUntil([&] { return largeCount() == before + 1; }, 60s)) return false;
        }
        return true;
    };
    // Four fit under the 8 MiB bound; the fifth waits in the worker.
    ASSERT_TRUE(sendLargeUntil(4));
    control.get("/send_large?user=flooded&bytes=" + std::to_string(kLarge));
    pumpUntil([] { return false; }, 1500ms);
    EXPECT_EQ(largeCount(), 4u);
    std::size_t held = 0;
    const auto& footprints = VelmorTest::TestMainWindow::serverFootprints();
    for (std::size_t i = handled; i < footprints.size(); ++i) {
        EXPECT_GE(footprints[i], 2 * kLarge);
        EXPECT_LT(footprints[i], 2 * kLarge + 4096);
        held += footprints[i];
    }
    EXPECT_EQ(footprints.size() - handled, 4u);
    EXPECT_EQ(state.serverTextBytesInFlight.load(), held);
    handOver();
    EXPECT_TRUE(pumpUntil([&] { return largeCount() == 5; }, 60s));
    handOver();
    EXPECT_EQ(state.serverTextsInFlight.load(), 0u);
    EXPECT_EQ(state.serverTextBytesInFlight.load(), 0u);

    // Held back again, the worker still stops at once with the session.
    ASSERT_TRUE(sendLargeUntil(9));
    control.get("/send_large?user=flooded&bytes=" + std::to_string(kLarge));
    pumpUntil([] { return false; }, 1500ms);  // the tenth reaches the worker, which waits
    EXPECT_EQ(largeCount(), 9u);
    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        stopSession(state, threads);
        stopped = true;
    });
    const bool stoppedInTime = pumpUntil([&] { return stopped.load(); }, 30s);
    if (!stoppedInTime) releaseServerText(state, SIZE_MAX);  // let the worker go so the test can report
    stopper.join();
    EXPECT_TRUE(stoppedInTime) << "the worker kept waiting for room after shutdown";
    EXPECT_EQ(largeCount(), 9u);
}

TEST_F(SessionIntegrationTest, StoppingWhileOfflineEndsTheWaitAtOnce)
{
    control.get("/fault?name=refuse_upgrade&status=403");
    start("refused");
    // Waits of 1 and 2 seconds pass; stop during the 4-second one.
    ASSERT_TRUE(pumpUntil([&] { return countStatus(L"Offline. Retrying in 4 seconds") == 1; }, 60s));
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
    ASSERT_TRUE(pumpUntil([&] { return countStatus(L"Connection lost. Reconnecting...") >= 5; }, 60s));
    DWORD handlesBefore = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handlesBefore);
    const std::size_t threadsBefore = threadCount();

    ASSERT_TRUE(pumpUntil([&] { return countStatus(L"Connection lost. Reconnecting...") >= 55; }, 300s));
    DWORD handlesAfter = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handlesAfter);
    const std::size_t threadsAfter = threadCount();
    // One handle or thread kept per connection would add 50.
    EXPECT_LT(handlesAfter, handlesBefore + 15) << handlesBefore << " -> " << handlesAfter;
    EXPECT_LE(threadsAfter, threadsBefore + 3) << threadsBefore << " -> " << threadsAfter;
    EXPECT_EQ(countStatus(L"Offline. Retrying in 2 seconds"), 0u);  // every wait starts at 1 again
}

// Empty and binary messages never reach the interface; a close from the
// server ends the link as a loss, not as a receive failure.
TEST_F(SessionIntegrationTest, EmptyAndBinaryMessagesAreDroppedAndAServerCloseIsNoFailure)
{
    start("dropper");
    ASSERT_TRUE(waitConnected());
    ASSERT_TRUE(control.waitForUser("dropper"));
    const std::size_t before = VelmorTest::TestMainWindow::serverTexts().size();
    control.get("/send?user=dropper&text=");
    control.get("/send?user=dropper&text=binary-body&binary=1");
    control.get("/send?user=dropper&text=" + VelmorTest::ServerControl::encode(R"({"type":"after"})"));
    ASSERT_TRUE(pumpUntil(
        [&] {
            const auto texts = VelmorTest::TestMainWindow::serverTexts();
            return !texts.empty() && texts.back() == R"({"type":"after"})";
        },
        30s));
    std::vector<std::string> texts = VelmorTest::TestMainWindow::serverTexts();
    texts.erase(texts.begin(), texts.begin() + static_cast<std::ptrdiff_t>(before));
    for (const std::string& text : texts) {
        EXPECT_FALSE(text.empty());
        EXPECT_EQ(text.find("binary-body"), std::string::npos);
    }

    control.get("/close?user=dropper&code=1000&reason=bye");
    ASSERT_TRUE(pumpUntil([&] { return countStatus(L"Connection lost. Reconnecting...") == 1; }, 30s));
    EXPECT_EQ(countLinesStartingWith(log(), L"[WARN] WebSocket RX"), 0u);
    EXPECT_TRUE(waitConnected()) << "no reconnect after the close";
}

// The keep-alive's real steps on a real link, without the worker (whose own
// list requests after connecting would mix in): the server's record holds
// exactly what the keep-alive sent, in order.
TEST_F(SessionIntegrationTest, KeepAliveSchedulesByConnectedTicksAndStartsAgainAfterASilenceDrop)
{
    const auto openLink = [&] {
        std::wstring error;
        auto link = VelmorTransport::WebSocketConnection::open(kServiceHost, makeConnectionPath("keeper"), error);
        EXPECT_TRUE(link) << utf16ToUtf8(error);
        std::lock_guard lock(state.connectionLock);
        state.connection = link;
        state.connected = true;
        state.lastActivityTick = ::GetTickCount64();
        return link;
    };
    const auto keepAliveTypes = [&](std::size_t expected) {
        std::vector<std::string> types;
        pumpUntil(
            [&] {
                types.clear();
                for (const RecordedRequest& request : requestsFrom(control, "keeper")) types.push_back(request.type);
                return types.size() >= expected;
            },
            30s);
        return types;
    };
    state.setUsername("keeper");
    ASSERT_TRUE(openLink());
    ASSERT_TRUE(control.waitForUser("keeper"));

    unsigned tick = 0;
    for (int step = 0; step < 5; ++step) keepAliveStep(state, tick, ::GetTickCount64());
    state.connected = false;  // offline ticks do not count
    for (int step = 0; step < 7; ++step) keepAliveStep(state, tick, ::GetTickCount64());
    state.connected = true;
    for (int step = 0; step < 3; ++step) keepAliveStep(state, tick, ::GetTickCount64());
    // Ticks 1-8: ping at 2, 4, 6, 8; list_users at 3 and 6; list_rooms at 6.
    const std::vector<std::string> eight{"ping", "list_users", "ping", "ping", "list_users", "list_rooms", "ping"};
    EXPECT_EQ(keepAliveTypes(eight.size()), eight);

    // Silent for more than 55 s: the link is cancelled and taken, nothing is sent,
    // and the schedule starts again on the next link.
    const std::shared_ptr<VelmorTransport::WebSocketConnection> first = connectionOf(state);
    const std::uint64_t now = ::GetTickCount64();
    state.lastActivityTick = now - kSilenceLimitMs - 1;
    keepAliveStep(state, tick, now);
    EXPECT_EQ(connectionOf(state), nullptr);
    std::wstring error;
    EXPECT_FALSE(first->sendText("after the drop", error));
    ASSERT_TRUE(pumpUntil([&] { return !isListed(control, "keeper"); }, 30s));
    ASSERT_TRUE(openLink());
    ASSERT_TRUE(control.waitForUser("keeper"));
    for (int step = 0; step < 3; ++step) keepAliveStep(state, tick, ::GetTickCount64());
    std::vector<std::string> expected = eight;
    expected.insert(expected.end(), {"ping", "list_users"});  // ticks 1-3 again, not 9-11
    EXPECT_EQ(keepAliveTypes(expected.size()), expected);

    // The thread itself, on a short tick: the same schedule from its start.
    control.get("/reset");
    ASSERT_TRUE(pumpUntil([&] { return !isListed(control, "keeper"); }, 30s));
    const auto link = openLink();
    ASSERT_TRUE(link);
    ASSERT_TRUE(control.waitForUser("keeper"));
    state.keepAliveTick = 40ms;
    std::thread keepAlive([&] { runKeepAlive(state); });
    std::vector<std::string> observed = keepAliveTypes(12);
    state.shuttingDown = true;
    state.wakeWorkers();
    keepAlive.join();
    ASSERT_GE(observed.size(), 12u);
    observed.resize(12);
    // Ticks 1-12: the minute's pattern twice.
    const std::vector<std::string> twoMinutes{"ping", "list_users", "ping", "ping", "list_users", "list_rooms",
                                              "ping", "list_users", "ping", "ping", "list_users", "list_rooms"};
    EXPECT_EQ(observed, twoMinutes);
    link->cancel();
    std::lock_guard lock(state.connectionLock);
    state.connection.reset();
}

// Without a server: what the session says and logs when it cannot send or open.
TEST(SessionOffline, FailuresAreReportedByTypeAndFallBackToAnOpenNotice)
{
    ClientState state;
    state.setUsername("alone");
    const std::wstring marker = L"---- offline";
    DiagnosticLog::write(kLevelInfo, marker);
    EXPECT_FALSE(sendRequest(state, "list_users"));
    EXPECT_FALSE(sendRequest(state, "message", R"("text":"secret words")"));
    EXPECT_FALSE(sendRawText(state, "ping"));
    EXPECT_FALSE(sendJoinRoom(state, ""));
    EXPECT_EQ(logLinesAfter(marker),
              (std::vector<std::wstring>{L"[WARN] WS TX failed: list_users", L"[WARN] WS TX failed: message"}));

    EXPECT_EQ(openFailureNotice(L""), L"Could not establish a secure WebSocket connection.");
    EXPECT_EQ(openFailureNotice(L"The server rejected the WebSocket upgrade (HTTP 403)."),
              L"The server rejected the WebSocket upgrade (HTTP 403).");
}

}  // namespace
