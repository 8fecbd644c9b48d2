#include "actions/rooms.h"

#include "diagnostics/diagnostic_log.h"
#include "i18n/localize.h"
#include "json/text_encoding.h"
#include "platform/app_messages.h"
#include "platform/user_prompts.h"
#include "session/presence.h"
#include "session/request_text.h"
#include "session/session.h"
#include "ui/control_ids.h"
#include "ui/roster_list_box.h"

#include <windows.h>
#include <commctrl.h>

namespace Velmor {
namespace {

HWND mainChild(int id)
{
    const HWND window = mainWindowHandle();
    return window ? ::GetDlgItem(window, id) : nullptr;
}

std::wstring controlText(int id)
{
    const HWND control = mainChild(id);
    if (!control) return {};
    const int length = ::GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

void message(const wchar_t* text, const wchar_t* caption, UINT icon)
{
    showMessageBox(mainWindowHandle(), localize(text), localize(caption), icon);
}

void transcript(const std::wstring& line) { ActivityTranscript::append(line); }

// Create and join both start a new membership: the room is wanted, not yet
// confirmed, and has no known members.
void beginJoining(ClientState& state, const std::wstring& room)
{
    state.setDesiredRoom(utf16ToUtf8(room));
    state.currentRoom = room;
    state.roomJoined = false;
    state.roomMembers.clear();
    if (const HWND list = mainChild(idRoomMembersList)) fillRosterListBox(list, state.roomMembers);
}

}  // namespace

void createRoom()
{
    ClientState& state = clientState();
    const std::wstring room = trimWhitespace(controlText(idRoomNameBox));
    std::wstring game = trimWhitespace(controlText(idGameBox));
    if (room.empty()) {
        message(L"Enter a room name first.", L"Create room", MB_ICONINFORMATION);
        if (const HWND box = mainChild(idRoomNameBox)) ::SetFocus(box);
        return;
    }
    if (!state.connected) {
        message(L"Connect to the server before creating a room.", L"Create room", MB_ICONWARNING);
        return;
    }
    if (game.empty()) game = kDefaultGame;

    beginJoining(state, room);
    const std::string roomUtf8 = utf16ToUtf8(room);
    if (!sendRequest("create_room", stringMember("room_name", roomUtf8) + "," + stringMember("game", utf16ToUtf8(game)))) {
        transcript(localize(L"Could not send the room creation request. Check the connection."));
        return;
    }
    if (sendJoinRoom(roomUtf8)) {
        sendRequest("list_rooms");
        transcript(localize(L"Room creation and join requested: ") + room +
                   localize(L". Waiting for server confirmation..."));
    } else {
        transcript(localize(L"The room creation request was sent, but the join request could not be sent."));
    }
}

void joinSelectedRoom()
{
    ClientState& state = clientState();
    const HWND listView = mainChild(idRoomListView);
    const int row = listView ? static_cast<int>(::SendMessageW(listView, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                                               LVNI_SELECTED))
                             : -1;
    if (row < 0) {
        message(L"Select a room from the list first.", L"Join room", MB_ICONINFORMATION);
        return;
    }
    const std::wstring room = trimWhitespace(roomListCell(listView, row, 0));
    if (room.empty()) return;

    beginJoining(state, room);
    transcript(localize(L"Joining room: ") + room);
    if (state.connected) {
        sendJoinRoom(utf16ToUtf8(room));
    } else {
        transcript(localize(L"The client will join automatically when the connection returns."));
    }
}

void leaveRoom()
{
    ClientState& state = clientState();
    const std::string wanted = state.readDesiredRoom();
    if (!wanted.empty() && state.connected) sendRequest("leave_room");
    state.clearDesiredRoom();
    state.currentRoom.clear();
    state.roomHost.clear();
    state.roomJoined = false;
    state.roomMembers.clear();
    if (const HWND list = mainChild(idRoomMembersList)) fillRosterListBox(list, state.roomMembers);
    transcript(localize(L"You left the room."));
}

void sendRoomMessage()
{
    ClientState& state = clientState();
    const std::wstring text = trimWhitespace(controlText(idRoomMessageBox));
    if (text.empty()) return;
    if (state.readDesiredRoom().empty() || !state.roomJoined) {
        message(L"Wait for the server to confirm room membership before sending messages.", L"Chat",
                MB_ICONINFORMATION);
        return;
    }
    if (!state.connected) {
        message(L"There is no connection to the server.", L"Chat", MB_ICONWARNING);
        return;
    }
    if (sendRequest("message", stringMember("text", utf16ToUtf8(text)))) {
        if (const HWND box = mainChild(idRoomMessageBox)) ::SetWindowTextW(box, L"");
    } else {
        transcript(localize(L"Message could not be sent. Check the connection."));
    }
}

void refreshPresenceAndRooms()
{
    if (clientState().connected) {
        sendRequest("list_users");
        sendRequest("list_rooms");
    } else {
        transcript(localize(L"Refresh failed: not connected to the server."));
    }
}

}  // namespace Velmor
