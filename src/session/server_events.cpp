#include "session/server_events.h"

#include "actions/pending_moderation.h"
#include "app/workspace_navigation.h"
#include "diagnostics/diagnostic_log.h"
#include "dm/direct_messages.h"
#include "dm/message_toast.h"
#include "i18n/localize.h"
#include "i18n/notices.h"
#include "json/text_encoding.h"
#include "platform/app_messages.h"
#include "session/presence.h"
#include "session/session.h"
#include "ui/control_ids.h"
#include "ui/roster_list_box.h"

#include <windows.h>

#include <unordered_set>

namespace Velmor {
namespace {

inline constexpr std::size_t kBlockListLimit = 500;

void transcript(const std::wstring& line) { ActivityTranscript::append(line); }

std::wstring wideMember(const JsonValue& message, std::string_view key, std::string_view defaultText = {})
{
    return utf8ToUtf16(memberText(message, key, defaultText));
}

HWND mainChild(int id)
{
    const HWND window = mainWindowHandle();
    return window ? ::GetDlgItem(window, id) : nullptr;
}

void invalidate(int id)
{
    if (const HWND control = mainChild(id)) ::InvalidateRect(control, nullptr, TRUE);
}

void refillRecentUsers(const ClientState& state)
{
    if (const HWND list = mainChild(idRecentUsersList)) fillRosterListBox(list, state.recentUsers);
}

void onConnected(ClientState& state, const JsonValue& message, std::optional<NameList> onlineNames)
{
    applyUsersList(state, message, std::move(onlineNames));
    applyRoomsList(state, message);
    transcript(localize(L"Connected to the server. Live presence and rooms are syncing."));
    state.moderationV2 = false;
    if (const JsonValue* capabilities = message.member("capabilities");
        capabilities && capabilities->kind == JsonKind::Array) {
        for (const JsonValue& capability : capabilities->arrayItems) {
            if (capability.asText("") == "moderation_v2") state.moderationV2 = true;
        }
    }
    if (!state.moderationV2) transcript(localize(kNoticeOutdatedServer));
}

void onRoomJoined(ClientState& state, const JsonValue& message)
{
    const JsonValue* roomMember = message.member("room");
    const std::string room = roomMember ? roomMember->asText("") : state.readDesiredRoom();
    const std::string ownName = state.readUsername();

    state.currentRoom = utf8ToUtf16(room);
    state.roomHost = wideMember(message, "host");
    state.roomJoined = true;
    state.setDesiredRoom(room);

    state.roomMembers.clear();
    if (const JsonValue* users = message.member("users"); users && users->kind == JsonKind::Array) {
        state.roomMembers = uniqueNames(*users);
    }
    state.orderRoomMembers();
    transcript(localize(L"Joined room ") + state.currentRoom + localize(L" as ") + utf8ToUtf16(ownName));
}

void onDirectMessage(ClientState& state, const JsonValue& message)
{
    const std::wstring from = wideMember(message, "from", "Player");
    if (state.isServerBlocked(from)) return;
    const std::wstring text = wideMember(message, "text");
    state.noteRecentUser(from);
    state.saveStoredLists();
    refillRecentUsers(state);
    appendDirectMessageLine(from, from + L": " + text);
    showMessageToast(from, text);
}

void onDirectMessageSent(ClientState& state, const JsonValue& message)
{
    const std::wstring to = wideMember(message, "to");
    if (to.empty()) return;
    state.noteRecentUser(to);
    state.saveStoredLists();
    refillRecentUsers(state);
    acknowledgeDirectMessage(to, wideMember(message, "text"), memberText(message, "request_id"));
}

void onBlockedUsers(ClientState& state, const JsonValue& message)
{
    const JsonValue* users = message.member("users");
    if (!users || users->kind != JsonKind::Array) return;
    const std::wstring ownName = utf8ToUtf16(state.readUsername());
    NameList blocked;
    std::unordered_set<std::wstring> seen;
    for (const JsonValue& element : users->arrayItems) {
        if (blocked.size() >= kBlockListLimit) break;
        std::wstring name = nameFromElement(element);
        if (name.empty() || name == ownName || !seen.insert(name).second) continue;
        blocked.push_back(std::move(name));
    }
    state.blockedUsers = std::move(blocked);
    state.saveStoredLists();
    for (const int id : {idOnlineUsersList, idFriendsList, idRecentUsersList, idRoomMembersList}) invalidate(id);
    DiagnosticLog::write(kLevelInfo, L"Synchronized server block list");
}

void onBlockUpdated(ClientState& state, const JsonValue& message)
{
    const std::wstring name = wideMember(message, "username");
    const bool blocked = memberText(message, "action") == "blocked";
    clearPendingModeration(state);
    transcript((blocked ? L"Server block enabled for " : L"Server block removed for ") + name + L".");
}

void onHostChanged(ClientState& state, const JsonValue& message)
{
    const std::wstring room = wideMember(message, "room");
    const std::wstring host = wideMember(message, "host");
    const bool sync = memberText(message, "reason") == "sync";
    if (room.empty() || room == state.currentRoom) {
        state.roomHost = host;
        state.orderRoomMembers();
    }
    if (!host.empty() && !sync) {
        if (equalsIgnoringCase(host, utf8ToUtf16(state.readUsername()))) {
            transcript(localize(kNoticeNowRoomHost));
        } else {
            transcript(L"Room host is now " + host + L".");
        }
    }
    invalidate(idRoomListView);
    invalidate(idRoomMembersList);
}

void onHostActionResult(ClientState& state, const JsonValue& message)
{
    clearPendingModeration(state);
    const std::string action = memberText(message, "action");
    std::wstring target;
    if (message.member("username")) {
        target = wideMember(message, "username");
    } else if (message.member("host")) {
        target = wideMember(message, "host");
    }
    if (action == "kick_user") {
        transcript(L"Removed " + target + L" from the room.");
    } else {
        transcript(L"Room host transferred to " + target + L".");
    }
}

void onKickedFromRoom(ClientState& state, const JsonValue& message)
{
    const std::wstring room = wideMember(message, "room");
    const std::wstring by = wideMember(message, "by", "the host");
    if (room.empty() || room == state.currentRoom) state.resetRoom();
    transcript(L"You were removed from the room by " + by + L".");
    selectWorkspacePage(mainWindowHandle(), pageRooms);
}

void onUsernameUpdated(ClientState& state, const JsonValue& message)
{
    const JsonValue* nameMember = message.member("username");
    const std::string name = nameMember ? nameMember->asText("") : state.readUsername();
    transcript(localize(L"Server identity updated to: ") + utf8ToUtf16(name));
}

void onError(ClientState& state, const JsonValue& message)
{
    const std::string context = memberText(message, "context");
    if (context == "block" || context == "room" || context == "unsupported") clearPendingModeration(state);
    if (context == "unsupported") state.moderationV2 = false;
    const std::wstring text = wideMember(message, "message", "Unknown error");
    failDirectMessage(wideMember(message, "to"), memberText(message, "request_id"), text);
    transcript(localize(L"Server error: ") + text);
}

LPCWSTR logLevelForType(const std::string& type)
{
    if (type == "error") return kLevelError;
    if (type == "connected") return kLevelInfo;
    return kLevelTrace;
}

}  // namespace

namespace {

bool carriesUserSnapshot(const std::string& type)
{
    return type == "connected" || type == "users_list" || type == "users_update";
}

std::size_t namesFootprint(const NameList& names)
{
    std::size_t bytes = names.capacity() * sizeof(std::wstring);
    for (const std::wstring& name : names) bytes += name.size() * sizeof(wchar_t);
    return bytes;
}

}  // namespace

ServerMessage readServerMessage(std::string text)
{
    ServerMessage message;
    message.text = std::move(text);
    if (message.text != "pong" && message.text != "ping") message.document = parseJsonDocument(message.text);
    if (message.document && message.document->kind == JsonKind::Object &&
        carriesUserSnapshot(memberText(*message.document, "type"))) {
        const auto users = message.document->objectMembers.find("users");
        if (users != message.document->objectMembers.end() && users->second.kind == JsonKind::Array) {
            message.onlineNames = uniqueNames(users->second);
            users->second.arrayItems = {};
        }
    }
    message.footprint = message.text.size() + (message.document ? jsonFootprint(*message.document) : 0) +
                        (message.onlineNames ? namesFootprint(*message.onlineNames) : 0);
    return message;
}

void dispatchServerText(ClientState& state, std::string_view text)
{
    ServerMessage message = readServerMessage(std::string(text));
    dispatchServerMessage(state, message);
}

void dispatchServerMessage(ClientState& state, ServerMessage& received)
{
    if (received.text == "pong" || received.text == "ping") return;

    if (!received.document || received.document->kind != JsonKind::Object) {
        transcript(localize(L"Received an unrecognized message from the server."));
        return;
    }
    const JsonValue& message = *received.document;
    const std::string type = memberText(message, "type");
    DiagnosticLog::write(logLevelForType(type), L"WS RX: " + (type.empty() ? L"<missing type>" : utf8ToUtf16(type)));

    if (type == "connected") {
        onConnected(state, message, std::move(received.onlineNames));
    } else if (type == "presence_delta") {
        applyPresenceDelta(state, message);
    } else if (type == "users_update" || type == "users_list") {
        applyUsersList(state, message, std::move(received.onlineNames));
    } else if (type == "rooms_list") {
        applyRoomsList(state, message);
    } else if (type == "room_joined") {
        onRoomJoined(state, message);
    } else if (type == "left_room") {
        state.resetRoom();
        transcript(localize(L"You left the room."));
    } else if (type == "user_joined_room" || type == "user_joined") {
        const std::wstring name = wideMember(message, "username");
        state.addRoomMember(name);
        transcript(name + localize(L" joined the room."));
    } else if (type == "user_left_room" || type == "user_left") {
        const std::wstring name = wideMember(message, "username");
        state.removeRoomMember(name);
        transcript(name + localize(L" left the room."));
    } else if (type == "message") {
        const std::wstring name = wideMember(message, "username", "Player");
        if (!state.isServerBlocked(name)) transcript(name + L": " + wideMember(message, "text"));
    } else if (type == "dm") {
        onDirectMessage(state, message);
    } else if (type == "dm_sent") {
        onDirectMessageSent(state, message);
    } else if (type == "blocked_users") {
        onBlockedUsers(state, message);
    } else if (type == "block_updated") {
        onBlockUpdated(state, message);
    } else if (type == "host_changed") {
        onHostChanged(state, message);
    } else if (type == "host_action_result") {
        onHostActionResult(state, message);
    } else if (type == "kicked_from_room") {
        onKickedFromRoom(state, message);
    } else if (type == "username_updated") {
        onUsernameUpdated(state, message);
    } else if (type == "error") {
        onError(state, message);
    } else if (!type.empty()) {
        transcript(localize(L"Server message: ") + utf8ToUtf16(type));
    }
}

void dispatchServerMessage(ServerMessage& message)
{
    dispatchServerMessage(clientState(), message);
    releaseServerText(clientState(), message.footprint);
}

}  // namespace Velmor
