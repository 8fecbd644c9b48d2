// The room host's two moderation commands: hand the host role to another
// member, or remove a member from the room. Both ask first, send one request
// and leave the verdict to the server, which must answer within 8 seconds
// (the pending moderation request). Interface thread only.
#pragma once

#include <string>

namespace Velmor {

// True when a room is joined, its host is known and the host is the user
// (names compared ignoring letter case).
bool isSelfRoomHost();

// The "Transfer host" player action: "transfer_host" with "to" = name.
void transferRoomHost(const std::wstring& name);

// The "Kick from room" player action: "kick_user" with "username" = name.
void kickRoomMember(const std::wstring& name);

}  // namespace Velmor
