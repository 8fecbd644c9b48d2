// Everything a user can do to another user, offered from a name: the native
// pop-up menu of the people lists, the workspace's pop-up on a player row and
// its selected-player card. All of them end in the same actions. Interface
// thread only.
#pragma once

#include <windows.h>

#include <string>

namespace Velmor {

// Runs player command 5101-5107 for `name`; an empty name or another id does
// nothing.
void runPlayerCommand(int commandId, const std::wstring& name);

// The native pop-up menu for the selected row of a people list, built afresh
// from the current lists; one's own name gets the profile box instead.
void showPlayerMenu(HWND listControl);

// The main window's context-menu request from one of its four people lists:
// selects the row under the point (the cursor for a keyboard request) and
// opens the menu for it. False when `list` is not one of those lists, so the
// caller leaves the message to the default procedure.
bool onRosterContextMenu(HWND mainWindow, HWND list, LPARAM point);

// Workspace pop-up "player-actions" for one player row: call it right after
// drawing the row's item. It opens when the right mouse button is released
// over that item and draws nothing while closed.
void drawPlayerActionsPopup(const std::wstring& name);

// Quick actions for workspaceState().selectedPlayer; on the friends page the
// player counts as a friend without looking the name up.
void drawSelectedPlayerCard(bool onFriendsPage);

// The most height the card takes at `width` (its buttons wrap where the
// width is short), for a panel that keeps room for it below a list.
float selectedPlayerCardHeight(float width);

}  // namespace Velmor
