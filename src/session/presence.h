// Keeps the client's picture of the community in step with the server: full
// user snapshots, presence deltas and the room list. Interface thread only.
// The room list lives only in the main window's hidden room list view.
#pragma once

#include "json/json_value.h"
#include "session/client_state.h"

#include <optional>

namespace Velmor {

inline constexpr wchar_t kDefaultGame[] = L"Stronghold Crusader";

// "users" (array of names), "recent_users" (array of names), "online_count".
// `onlineNames`, when given, are the "users" already read by `uniqueNames`
// (the array in `message` may then be empty).
void applyUsersList(ClientState& state, const JsonValue& message, std::optional<NameList> onlineNames = {});

// "went_offline", "went_online", "recent_users".
void applyPresenceDelta(ClientState& state, const JsonValue& message);

// "rooms": array of objects with "name", "game", "host", "users" or "players"
// and "max_players". Only while the room list view exists.
void applyRoomsList(ClientState& state, const JsonValue& message);

// One cell of the room list view (0 room, 1 game, 2 players, 3 host), cut to
// its first 511 characters.
std::wstring roomListCell(HWND listView, int row, int column);

// A name taken from an array element: asText with an empty default,
// converted and trimmed (empty results are skipped by the callers).
std::wstring nameFromElement(const JsonValue& element);

// The names of an array member in order, without empty names and repeats,
// at most `limit` of them.
NameList uniqueNames(const JsonValue& array, std::size_t limit = SIZE_MAX);

// Shows a count in the main window's online count label, if it exists.
void showOnlineCount(std::size_t count);

}  // namespace Velmor
