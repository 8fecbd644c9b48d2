// The single process-wide record of the session and the interface.
//
// Every field belongs to exactly one protection class, which decides who may
// touch it and how:
//   - sessionLock:    username, desiredRoom (UTF-8; they cross threads)
//   - connectionLock: connection
//   - atomics:        shuttingDown, connected, roomJoined, lastActivityTick, uiLanguage,
//                     serverTextsInFlight, serverTextBytesInFlight
//   - interface thread only: everything else
// Lock order: workerLock, then sessionLock. sessionLock and connectionLock are
// never held together, and no lock is held across a send, a receive, a post
// or a log write.
#pragma once

#include "session/name_list.h"
#include "session/session_rules.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace VelmorTransport {
class WebSocketConnection;
}

namespace Velmor {

enum WorkspacePageId : int {
    pageRoomChat = 0,
    pagePeople = 1,
    pageFriends = 2,
    pageRecent = 3,
    pageRooms = 4,
    pageSettings = 5,
    pageDiagnostics = 6,
};

inline constexpr std::size_t kRecentUsersLimit = 20;

struct ClientState {
    ClientState() = default;
    ClientState(const ClientState&) = delete;
    ClientState& operator=(const ClientState&) = delete;

    // --- sessionLock ------------------------------------------------------
    std::mutex sessionLock;
    std::string username;     // empty: no identity yet (the worker waits)
    std::string desiredRoom;  // the room to (re)join after every connect

    // --- connectionLock ---------------------------------------------------
    std::mutex connectionLock;
    std::shared_ptr<VelmorTransport::WebSocketConnection> connection;

    // --- atomics ----------------------------------------------------------
    std::atomic<bool> shuttingDown{false};
    std::atomic<bool> connected{false};
    std::atomic<bool> roomJoined{false};
    std::atomic<std::uint64_t> lastActivityTick{0};  // GetTickCount64 of the last sign of life
    std::atomic<int> uiLanguage{0};                  // 0 English, 1 Arabic, 2 French, 3 Spanish
    // Received messages posted to the interface thread and not yet handled
    // there: the worker adds, the interface thread takes away after dispatch.
    std::atomic<std::size_t> serverTextsInFlight{0};
    std::atomic<std::size_t> serverTextBytesInFlight{0};

    // Worker wake-up: the connection worker and the keep-alive thread wait on
    // workerWake under workerLock.
    std::mutex workerLock;
    std::condition_variable workerWake;

    // Set before the session starts, read by the keep-alive thread: the time
    // between its ticks (tests shorten it; the schedule counts ticks).
    std::chrono::milliseconds keepAliveTick{kKeepAliveTick};

    // --- interface thread only --------------------------------------------
    std::wstring currentRoom;
    std::wstring roomHost;
    NameList roomMembers;  // host first whenever the host is a member
    NameList onlineUsers;
    NameList recentUsers;  // at most 20, most recent first
    NameList friends;
    NameList blockedUsers;
    bool moderationV2 = false;
    std::wstring pendingModeration;
    std::map<std::wstring, HWND> dmWindows;
    int uiTheme = 0;
    WorkspacePageId activePage = pageRoomChat;
    bool notificationSound = false;

    // --- shared operations --------------------------------------------------
    // Any thread.
    std::string readUsername();
    std::string readDesiredRoom();
    void setUsername(const std::string& name);  // assigns, then wakes the waiters

    // Wakes every waiter on workerWake in a way that cannot be missed: the lock
    // is taken and released between the caller's change and the notification.
    void wakeWorkers();

    // Interface thread.
    void setDesiredRoom(const std::string& room);
    void clearDesiredRoom();
    void noteRecentUser(const std::wstring& name);
    bool isServerBlocked(std::wstring_view name) const;
    void addRoomMember(const std::wstring& name);
    void removeRoomMember(std::wstring_view name);
    void orderRoomMembers();  // host first, then refills the room members list box
    void resetRoom();
    void saveStoredLists() const;  // Friends, RecentUsers, BlockedUsers, in that order
};

// The process-wide instance.
ClientState& clientState();

}  // namespace Velmor
