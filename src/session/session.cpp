#include "session/session.h"

#include "build_config.h"
#include "diagnostics/diagnostic_log.h"
#include "i18n/localize.h"
#include "i18n/notices.h"
#include "json/text_encoding.h"
#include "platform/app_messages.h"
#include "session/request_text.h"
#include "session/server_events.h"
#include "session/session_rules.h"
#include "transport/websocket_connection.h"

#include <windows.h>

#include <memory>

namespace Velmor {
namespace {

using Connection = VelmorTransport::WebSocketConnection;
using VelmorTransport::ReceivedKind;

// A status notice: logged at INFO (ok) or WARN and shown on the status label.
void notice(std::wstring_view text, bool ok) { DiagnosticLog::writeStatus(text, ok); }
void localizedNotice(const wchar_t* text, bool ok) { notice(localize(text), ok); }

std::shared_ptr<Connection> currentConnection(ClientState& state)
{
    std::lock_guard lock(state.connectionLock);
    return state.connected ? state.connection : nullptr;
}

// Waits until `deadline` unless shutdown comes first. Earlier wake-ups do not
// shorten the wait. True when shutdown ended it. Called with workerLock held.
bool waitUnlessShutdown(ClientState& state, std::unique_lock<std::mutex>& lock,
                        std::chrono::steady_clock::time_point deadline)
{
    return state.workerWake.wait_until(lock, deadline, [&] { return state.shuttingDown.load(); });
}

void takeAway(std::atomic<std::size_t>& counter, std::size_t amount)
{
    std::size_t current = counter.load();
    while (!counter.compare_exchange_weak(current, current >= amount ? current - amount : 0)) {
    }
}

// Holds a received message back while the interface thread has too many in
// hand. The interface thread does not signal as it catches up, so the worker
// looks again every few milliseconds; shutdown wakes it at once. False when
// shutdown ended the wait.
bool waitForRoomToPost(ClientState& state, std::size_t size)
{
    const auto mayPost = [&] {
        return mayPostServerText(state.serverTextsInFlight, state.serverTextBytesInFlight, size);
    };
    if (mayPost()) return true;
    std::unique_lock lock(state.workerLock);
    while (!state.shuttingDown && !mayPost()) state.workerWake.wait_for(lock, std::chrono::milliseconds(10));
    return !state.shuttingDown;
}

// Receives until the connection fails, closes or shutdown begins. Every whole
// text message but the bare "pong" goes to the interface thread.
void receiveLoop(ClientState& state, Connection& connection)
{
    std::string message;
    ReceivedKind kind = ReceivedKind::Text;
    std::wstring error;
    while (!state.shuttingDown) {
        if (!connection.receive(message, kind, error)) break;
        if (kind == ReceivedKind::Close) break;
        if (kind != ReceivedKind::Text || message.empty()) continue;
        if (message == "pong") {
            state.lastActivityTick = ::GetTickCount64();
            continue;
        }
        // Read here, off the interface thread; what it holds then counts
        // against the bound.
        auto received = std::make_unique<ServerMessage>(readServerMessage(std::move(message)));
        const std::size_t size = received->footprint;
        if (!waitForRoomToPost(state, size)) break;
        ++state.serverTextsInFlight;
        state.serverTextBytesInFlight += size;
        if (!postToMainWindow(serverText, std::move(received))) releaseServerText(state, size);
        message.clear();
    }
    if (!error.empty() && !state.shuttingDown) DiagnosticLog::write(kLevelWarn, L"WebSocket RX: " + error);
}

// Ends a connection that the worker itself opened.
void dropConnection(ClientState& state, const std::shared_ptr<Connection>& connection)
{
    state.connected = false;
    state.roomJoined = false;
    {
        std::lock_guard lock(state.connectionLock);
        if (state.connection == connection) state.connection.reset();
    }
    connection->cancel();
}

// One attempt: open, synchronise, receive until the link ends. Returns false
// when shutdown was seen while storing the new connection.
bool connectOnce(ClientState& state, const std::string& username, int& delaySeconds)
{
    localizedNotice(L"Connecting to server...", false);
    std::wstring error;
    const std::shared_ptr<Connection> connection = Connection::open(kServiceHost, makeConnectionPath(username), error);

    if (!connection) {
        state.connected = false;
        state.roomJoined = false;
        notice(openFailureNotice(std::move(error)), false);
        return true;
    }

    {
        std::lock_guard lock(state.connectionLock);
        if (state.shuttingDown) {
            connection->cancel();
            return false;
        }
        state.connection = connection;
        state.connected = true;
        state.roomJoined = false;
        state.lastActivityTick = ::GetTickCount64();
    }
    localizedNotice(L"Connected. Syncing presence and rooms...", true);

    sendRequest(state, "list_users");
    sendRequest(state, "list_rooms");
    sendRequest(state, "list_blocked");
    if (const std::string room = state.readDesiredRoom(); !room.empty()) sendJoinRoom(state, room);

    receiveLoop(state, *connection);
    dropConnection(state, connection);
    if (!state.shuttingDown) localizedNotice(L"Connection lost. Reconnecting...", false);
    delaySeconds = kFirstReconnectDelaySeconds;
    return true;
}

SessionThreads gProcessThreads;
std::atomic<bool> gProcessSessionStarted{false};

}  // namespace

bool sendRawText(ClientState& state, const std::string& text)
{
    const std::shared_ptr<Connection> connection = currentConnection(state);
    if (!connection) return false;
    std::wstring ignored;
    return connection->sendText(text, ignored);
}

bool sendRawText(const std::string& text) { return sendRawText(clientState(), text); }

bool sendRequest(ClientState& state, std::string_view type, std::string_view members)
{
    const bool sent = sendRawText(state, composeRequest(type, members));
    const std::wstring typeText = utf8ToUtf16(type);
    if (sent) {
        DiagnosticLog::write(kLevelTrace, L"WS TX: " + typeText);
    } else {
        DiagnosticLog::write(kLevelWarn, L"WS TX failed: " + typeText);
    }
    return sent;
}

bool sendRequest(std::string_view type, std::string_view members) { return sendRequest(clientState(), type, members); }

bool sendJoinRoom(ClientState& state, const std::string& room)
{
    if (state.readUsername().empty() || room.empty()) return false;
    return sendRequest(state, "join_room", stringMember("room", room));
}

bool sendJoinRoom(const std::string& room) { return sendJoinRoom(clientState(), room); }

std::wstring makeConnectionPath(const std::string& username) { return utf8ToUtf16(connectionPathUtf8(username)); }

std::wstring openFailureNotice(std::wstring error)
{
    return error.empty() ? localize(kNoticeSecureConnectionFailed) : std::move(error);
}

bool takeSilentConnection(ClientState& state, std::uint64_t now, std::shared_ptr<Connection>& stale)
{
    std::lock_guard lock(state.connectionLock);
    if (!linkIsSilent(state.lastActivityTick, now)) return false;
    stale = std::move(state.connection);
    return true;
}

void releaseServerText(ClientState& state, std::size_t bytes)
{
    takeAway(state.serverTextsInFlight, 1);
    takeAway(state.serverTextBytesInFlight, bytes);
}

void runConnectionWorker(ClientState& state)
{
    if (state.shuttingDown) return;
    int delaySeconds = kFirstReconnectDelaySeconds;
    for (;;) {
        std::string username = state.readUsername();
        if (username.empty()) {
            localizedNotice(L"Please enter your name to connect.", false);
            std::unique_lock lock(state.workerLock);
            for (;;) {
                if (state.shuttingDown) return;
                username = state.readUsername();
                if (!username.empty()) break;
                state.workerWake.wait(lock);
            }
            lock.unlock();
            delaySeconds = kFirstReconnectDelaySeconds;
            continue;
        }

        if (!connectOnce(state, username, delaySeconds)) return;
        if (state.shuttingDown) return;

        DiagnosticLog::writeStatus(
            localize(L"Offline. Retrying in ") + std::to_wstring(delaySeconds) + localize(L" seconds"), false);
        std::unique_lock lock(state.workerLock);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(delaySeconds);
        if (waitUnlessShutdown(state, lock, deadline)) return;
        delaySeconds = nextReconnectDelay(delaySeconds);
    }
}

void keepAliveStep(ClientState& state, unsigned& tick, std::uint64_t now)
{
    if (!state.connected) return;
    std::shared_ptr<Connection> stale;
    if (takeSilentConnection(state, now, stale)) {
        if (stale) stale->cancel();  // the worker's receive fails and it reconnects
        tick = 0;
        return;
    }
    const KeepAliveActions actions = keepAliveActions(++tick);
    if (actions.ping) sendRawText(state, "ping");
    if (actions.listUsers) sendRequest(state, "list_users");
    if (actions.listRooms) sendRequest(state, "list_rooms");
}

void runKeepAlive(ClientState& state)
{
    std::unique_lock lock(state.workerLock);
    unsigned tick = 0;
    for (;;) {
        if (state.shuttingDown) return;
        if (waitUnlessShutdown(state, lock, std::chrono::steady_clock::now() + state.keepAliveTick)) return;
        lock.unlock();
        keepAliveStep(state, tick, ::GetTickCount64());
        lock.lock();
    }
}

void startSession(ClientState& state, SessionThreads& threads)
{
    state.shuttingDown = false;
    threads.worker = std::thread([&state] { runConnectionWorker(state); });
    threads.keepAlive = std::thread([&state] { runKeepAlive(state); });
}

void stopSession(ClientState& state, SessionThreads& threads)
{
    if (state.shuttingDown.exchange(true)) return;
    state.wakeWorkers();

    if (state.connected && !state.readDesiredRoom().empty()) sendRequest(state, "leave_room");

    std::shared_ptr<Connection> connection;
    {
        std::lock_guard lock(state.connectionLock);
        connection = std::move(state.connection);
        state.connection.reset();
        state.connected = false;
    }
    if (connection) connection->cancel();

    if (threads.worker.joinable()) threads.worker.join();
    if (threads.keepAlive.joinable()) threads.keepAlive.join();
}

bool sessionStarted() { return gProcessSessionStarted; }

void startSession()
{
    if (gProcessSessionStarted.exchange(true)) return;
    startSession(clientState(), gProcessThreads);
}

void stopSession() { stopSession(clientState(), gProcessThreads); }

}  // namespace Velmor
