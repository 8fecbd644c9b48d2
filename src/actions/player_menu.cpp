#include "actions/player_menu.h"

#include "actions/friends.h"
#include "actions/host_moderation.h"
#include "dm/direct_messages.h"
#include "i18n/localize.h"
#include "i18n/notices.h"
#include "json/text_encoding.h"
#include "platform/app_messages.h"
#include "platform/unique_handle.h"
#include "platform/user_prompts.h"
#include "session/client_state.h"
#include "ui/control_ids.h"
#include "ui/roster_list_box.h"

#include <windowsx.h>

namespace Velmor {
namespace {

bool isRosterList(int id)
{
    return id == idOnlineUsersList || id == idFriendsList || id == idRecentUsersList || id == idRoomMembersList;
}

void appendItem(HMENU menu, int id, const std::wstring& text, bool enabled = true)
{
    ::AppendMenuW(menu, MF_STRING | (enabled ? MF_ENABLED : MF_DISABLED | MF_GRAYED), static_cast<UINT_PTR>(id),
                  text.c_str());
}

void appendNote(HMENU menu, const std::wstring& text) { appendItem(menu, 0, text, false); }

void appendSeparator(HMENU menu) { ::AppendMenuW(menu, MF_SEPARATOR, 0, nullptr); }

// The host commands appear for members of the room the user is in, other
// than the user; only the host can use them.
void appendHostCommands(HMENU menu, const ClientState& state, const std::wstring& name, const std::wstring& ownName)
{
    if (!state.roomJoined || !containsNameIgnoringCase(state.roomMembers, name) || equalsIgnoringCase(name, ownName))
        return;
    const bool host = isSelfRoomHost();
    appendSeparator(menu);
    appendItem(menu, idPlayerTransferHost, localize(kMenuTransferHostToPlayer), host);
    appendItem(menu, idPlayerKick, localize(kMenuKickFromRoom), host);
    if (host) return;
    appendNote(menu, state.roomHost.empty() ? localize(kMenuHostOnly)
                                            : localize(kMenuHostOnlyCurrentHost) + state.roomHost + L")");
}

UniqueMenu buildPlayerMenu(const ClientState& state, const std::wstring& name, const std::wstring& ownName)
{
    UniqueMenu menu(::CreatePopupMenu());
    if (!menu) return menu;
    const bool isHost = !state.roomHost.empty() && equalsIgnoringCase(name, state.roomHost);
    appendNote(menu.get(), isHost ? name + L"  [ROOM HOST]" : name);
    appendSeparator(menu.get());
    appendItem(menu.get(), idPlayerMessage, localize(L"Message privately..."));
    if (containsName(state.friends, name)) {
        appendItem(menu.get(), idPlayerRemoveFriend, localize(L"Remove friend"));
    } else {
        appendItem(menu.get(), idPlayerAddFriend, localize(L"Add friend"));
    }
    appendSeparator(menu.get());
    if (state.isServerBlocked(name)) {
        appendItem(menu.get(), idPlayerUnblock, localize(L"Unblock on server"));
    } else {
        appendItem(menu.get(), idPlayerBlock, localize(L"Block on server"));
    }
    appendHostCommands(menu.get(), state, name, ownName);
    return menu;
}

}  // namespace

void runPlayerCommand(int commandId, const std::wstring& name)
{
    if (name.empty()) return;
    switch (commandId) {
    case idPlayerMessage:
        openDirectMessageFromPlayer(name);
        break;
    case idPlayerAddFriend:
        addFriend(name);
        break;
    case idPlayerRemoveFriend:
        removeFriend(name);
        break;
    case idPlayerBlock:
    case idPlayerUnblock:
        toggleServerBlock(name);
        break;
    case idPlayerTransferHost:
        transferRoomHost(name);
        break;
    case idPlayerKick:
        kickRoomMember(name);
        break;
    default:
        break;
    }
}

void showPlayerMenu(HWND listControl)
{
    const std::wstring name = selectedListText(listControl);
    if (name.empty()) return;
    ClientState& state = clientState();
    const HWND mainWindow = mainWindowHandle();
    const std::wstring ownName = utf8ToUtf16(state.readUsername());
    if (name == ownName) {
        showMessageBox(mainWindow, localize(L"This is your current account."), localize(L"Profile"),
                       MB_ICONINFORMATION);
        return;
    }
    UniqueMenu menu = buildPlayerMenu(state, name, ownName);
    if (!menu) return;
    if (mainWindow) ::SetForegroundWindow(mainWindow);
    const int command = trackPopupMenuAtCursor(mainWindow, menu.get());
    menu.reset();
    if (command != 0) runPlayerCommand(command, name);
}

bool onRosterContextMenu(HWND mainWindow, HWND list, LPARAM point)
{
    if (!list || ::GetParent(list) != mainWindow || !isRosterList(::GetDlgCtrlID(list))) return false;
    POINT at = {GET_X_LPARAM(point), GET_Y_LPARAM(point)};
    if (at.x == -1 && at.y == -1) ::GetCursorPos(&at);
    ::ScreenToClient(list, &at);
    const LRESULT hit = ::SendMessageW(list, LB_ITEMFROMPOINT, 0, MAKELPARAM(at.x, at.y));
    const LRESULT count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
    // The high word is set when the point is not on the returned row.
    if (HIWORD(hit) == 0 && static_cast<LRESULT>(LOWORD(hit)) < count) {
        ::SendMessageW(list, LB_SETCURSEL, LOWORD(hit), 0);
        showPlayerMenu(list);
    }
    return true;
}

}  // namespace Velmor
