// The session: one WebSocket connection kept open while the application runs
// and the user has a name. The connection worker connects, synchronises,
// receives and reconnects with waits of 1, 2, 4 ... 60 seconds; the keep-alive
// thread pings, refreshes the lists and drops a link that has gone silent.
// Any thread sends requests through sendRequest. Received messages reach the
// interface thread as posted serverText messages.
#pragma once

#include "session/client_state.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace Velmor {

// Sends one request: {"type":<type>} plus `members` (already JSON text, no
// braces, no leading comma). Logs "WS TX: " + type (never the members).
// True when the transport accepted the whole message. Any thread.
bool sendRequest(ClientState& state, std::string_view type, std::string_view members = {});
bool sendRequest(std::string_view type, std::string_view members = {});

// Sends a text message unchanged (the bare "ping"). Nothing is queued: while
// offline the text is lost and false is returned. Any thread.
bool sendRawText(ClientState& state, const std::string& text);
bool sendRawText(const std::string& text);

// "join_room" with the room; false without sending when the user name or the
// room is empty.
bool sendJoinRoom(ClientState& state, const std::string& room);
bool sendJoinRoom(const std::string& room);

// "/websocket?user=" and the percent-encoded UTF-8 name, as UTF-16.
std::wstring makeConnectionPath(const std::string& username);

// The status notice for a failed open: the transport's error text, or a
// localised fallback when it gave none.
std::wstring openFailureNotice(std::wstring error);

// The keep-alive's silence check at `now` (GetTickCount64): true when the link
// has been silent too long, and then the current connection, if any, has been
// moved out of the state into `stale` for the caller to cancel. The activity
// tick is read under connectionLock, where the worker stores a new connection
// together with its fresh tick, so a link opened after the old one went quiet
// is never taken for it.
bool takeSilentConnection(ClientState& state, std::uint64_t now,
                          std::shared_ptr<VelmorTransport::WebSocketConnection>& stale);

// The interface thread has handled one posted serverText message of `bytes`
// bytes: its share of the worker's back-pressure bound is given back.
void releaseServerText(ClientState& state, std::size_t bytes);

// One keep-alive tick at `now` (GetTickCount64): nothing while offline (the
// tick counter counts connected ticks only); a silent link is cancelled and
// the counter starts again; otherwise the counter advances and the schedule's
// ping and list requests go out.
void keepAliveStep(ClientState& state, unsigned& tick, std::uint64_t now);

// The two thread bodies.
void runConnectionWorker(ClientState& state);
void runKeepAlive(ClientState& state);

// The threads of one session. They are never detached: stopSession joins them.
struct SessionThreads {
    std::thread worker;
    std::thread keepAlive;
};

// Clears shuttingDown and starts the worker, then the keep-alive thread.
void startSession(ClientState& state, SessionThreads& threads);

// Ends the session: sets shuttingDown (once), wakes the threads, sends
// "leave_room" when connected with a room wanted, drops and cancels the
// connection, joins the worker and then the keep-alive thread. Never call it
// from either background thread.
void stopSession(ClientState& state, SessionThreads& threads);

// The process-wide session on clientState(): started once by the first
// accepted name, stopped when the main window closes.
bool sessionStarted();
void startSession();
void stopSession();

}  // namespace Velmor
