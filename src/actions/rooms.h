// The room commands: create (and join) a room, join the room selected in the
// room list, leave, and send a line of room chat. They read their input from
// the main window's hidden native controls, which the workspace pages fill
// before calling them. Interface thread only.
#pragma once

namespace Velmor {

void createRoom();
void joinSelectedRoom();
void leaveRoom();
void sendRoomMessage();

// F5 and the quick-navigation menu: "list_users" then "list_rooms" while
// connected, else the localised refresh failure line in the transcript.
void refreshPresenceAndRooms();

}  // namespace Velmor
