// Friends (a local list kept in the registry) and the server block list (the
// server decides; a block or unblock request waits 8 seconds for its answer).
// Interface thread only.
#pragma once

#include <string>

namespace Velmor {

void addFriend(const std::wstring& name);
void removeFriend(const std::wstring& name);

// Asks to block the name on the server, or to unblock it when it is blocked.
void toggleServerBlock(const std::wstring& name);

// "Manage blocked": a pop-up menu of the blocked users to unblock.
void showBlockedUsersMenu();

// Commands 1018 and 1019: the selected name of the native online list (add)
// or friends list (remove).
void addSelectedOnlineUserAsFriend();
void removeSelectedFriend();

}  // namespace Velmor
