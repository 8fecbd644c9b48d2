#include "session/client_state.h"

#include "platform/app_messages.h"
#include "settings/settings_store.h"
#include "ui/control_ids.h"
#include "ui/roster_list_box.h"

#include <algorithm>

namespace Velmor {
namespace {

void refillRoomMembersListBox(const NameList& members)
{
    const HWND window = mainWindowHandle();
    if (!window) return;
    if (const HWND listBox = ::GetDlgItem(window, idRoomMembersList)) fillRosterListBox(listBox, members);
}

}  // namespace

ClientState& clientState()
{
    static ClientState state;
    return state;
}

std::string ClientState::readUsername()
{
    std::lock_guard lock(sessionLock);
    return username;
}

std::string ClientState::readDesiredRoom()
{
    std::lock_guard lock(sessionLock);
    return desiredRoom;
}

void ClientState::setUsername(const std::string& name)
{
    {
        std::lock_guard lock(sessionLock);
        username = name;
    }
    wakeWorkers();
}

void ClientState::wakeWorkers()
{
    // A waiter tests its condition while holding workerLock; taking the lock
    // here means the change above is either seen by that test or happens
    // before the waiter sleeps, so the notification cannot fall in between.
    { std::lock_guard lock(workerLock); }
    workerWake.notify_all();
}

void ClientState::setDesiredRoom(const std::string& room)
{
    std::lock_guard lock(sessionLock);
    desiredRoom = room;
}

void ClientState::clearDesiredRoom()
{
    std::lock_guard lock(sessionLock);
    desiredRoom.clear();
}

void ClientState::noteRecentUser(const std::wstring& name)
{
    if (name.empty()) return;
    removeName(recentUsers, name);
    recentUsers.insert(recentUsers.begin(), name);
    if (recentUsers.size() > kRecentUsersLimit) recentUsers.resize(kRecentUsersLimit);
}

bool ClientState::isServerBlocked(std::wstring_view name) const
{
    return !name.empty() && containsName(blockedUsers, name);
}

void ClientState::addRoomMember(const std::wstring& name)
{
    if (name.empty() || containsName(roomMembers, name)) return;
    roomMembers.push_back(name);
    orderRoomMembers();
}

void ClientState::removeRoomMember(std::wstring_view name)
{
    removeName(roomMembers, name);
    orderRoomMembers();
}

void ClientState::orderRoomMembers()
{
    if (!roomHost.empty()) {
        const auto host = std::find_if(roomMembers.begin(), roomMembers.end(), [this](const std::wstring& member) {
            return equalsIgnoringCase(member, roomHost);
        });
        if (host != roomMembers.end() && host != roomMembers.begin()) {
            std::rotate(roomMembers.begin(), host, host + 1);
        }
    }
    refillRoomMembersListBox(roomMembers);
}

void ClientState::resetRoom()
{
    roomJoined = false;
    currentRoom.clear();
    roomHost.clear();
    clearDesiredRoom();
    roomMembers.clear();
    refillRoomMembersListBox(roomMembers);
}

void ClientState::saveStoredLists() const
{
    SettingsStore::storeList(L"Friends", friends);
    SettingsStore::storeList(L"RecentUsers", recentUsers);
    SettingsStore::storeList(L"BlockedUsers", blockedUsers);
}

}  // namespace Velmor
