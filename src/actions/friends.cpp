#include "actions/friends.h"

#include "actions/pending_moderation.h"
#include "diagnostics/diagnostic_log.h"
#include "i18n/localize.h"
#include "json/text_encoding.h"
#include "platform/app_messages.h"
#include "platform/unique_handle.h"
#include "platform/user_prompts.h"
#include "session/request_text.h"
#include "session/session.h"
#include "ui/control_ids.h"
#include "ui/native_surface.h"
#include "ui/roster_list_box.h"

#include <windows.h>

namespace Velmor {
namespace {

constexpr std::size_t kBlockedMenuLimit = 500;

void transcript(const std::wstring& line) { ActivityTranscript::append(line); }

bool isOwnName(ClientState& state, const std::wstring& name) { return utf16ToUtf8(name) == state.readUsername(); }

std::wstring selectedText(int listId)
{
    const HWND window = mainWindowHandle();
    return selectedListText(window ? ::GetDlgItem(window, listId) : nullptr);
}

void friendsChanged(ClientState& state)
{
    state.saveStoredLists();
    refreshRosterListBoxes();
}

}  // namespace

void addFriend(const std::wstring& name)
{
    ClientState& state = clientState();
    if (name.empty() || isOwnName(state, name)) return;
    if (containsName(state.friends, name)) {
        transcript(name + localize(L" is already on your friends list."));
        return;
    }
    state.friends.push_back(name);
    friendsChanged(state);
    transcript(localize(L"Added ") + name + localize(L" to your friends."));
}

void removeFriend(const std::wstring& name)
{
    ClientState& state = clientState();
    if (name.empty() || removeName(state.friends, name) == 0) return;
    friendsChanged(state);
    transcript(localize(L"Removed ") + name + localize(L" from your friends."));
}

void toggleServerBlock(const std::wstring& name)
{
    ClientState& state = clientState();
    if (name.empty() || isOwnName(state, name)) return;
    if (!state.connected) {
        transcript(L"Cannot change server block settings while offline.");
        return;
    }
    const HWND owner = mainWindowHandle();
    const std::string member = stringMember("username", utf16ToUtf8(name));
    if (state.isServerBlocked(name)) {
        const std::wstring question =
            L"Unblock " + name + L" on the server? They will be able to send you direct messages again.";
        if (showMessageBox(owner, question, L"Server block", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return;
        if (sendRequest("unblock_user", member)) {
            transcript(L"Unblock request sent for " + name + L". Waiting for server confirmation...");
            startPendingModeration(state, L"unblock " + name);
        } else {
            transcript(L"Could not send the server unblock request.");
        }
        return;
    }
    const std::wstring question = L"Block " + name +
                                  L" on the server? They will not be able to send you direct messages, and room "
                                  L"messages from them will be hidden from you.";
    if (showMessageBox(owner, question, L"Server block", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) return;
    if (sendRequest("block_user", member)) {
        transcript(L"Block request sent for " + name + L". Waiting for server confirmation...");
        startPendingModeration(state, L"block " + name);
    } else {
        transcript(L"Could not send the server block request.");
    }
}

void showBlockedUsersMenu()
{
    ClientState& state = clientState();
    const HWND owner = mainWindowHandle();
    if (state.blockedUsers.empty()) {
        showMessageBox(owner, localize(L"No blocked users returned by the server yet."), localize(L"Blocked users"),
                       MB_ICONINFORMATION);
        if (state.connected) sendRequest("list_blocked");
        return;
    }

    const UniqueMenu menu(::CreatePopupMenu());
    if (!menu) return;
    const std::wstring header = localize(L"Unblock a user on the server");
    ::AppendMenuW(menu.get(), MF_STRING | MF_DISABLED | MF_GRAYED, 0, header.c_str());
    ::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    const std::size_t count = std::min(state.blockedUsers.size(), kBlockedMenuLimit);
    const std::wstring prefix = localize(L"Unblock on server \u00B7 ");
    for (std::size_t i = 0; i < count; ++i) {
        const std::wstring label = prefix + state.blockedUsers[i];
        ::AppendMenuW(menu.get(), MF_STRING, idUnblockMenuBase + i, label.c_str());
    }

    const int chosen = trackPopupMenuAtCursor(owner, menu.get());
    if (chosen < idUnblockMenuBase || chosen >= idUnblockMenuBase + static_cast<int>(count)) return;
    const std::size_t index = static_cast<std::size_t>(chosen - idUnblockMenuBase);
    if (index >= state.blockedUsers.size()) return;
    const std::wstring name = state.blockedUsers[index];
    if (!state.connected) {
        showMessageBox(owner, L"Connect to the server before changing your block list.", L"Server block",
                       MB_ICONWARNING);
        return;
    }
    if (sendRequest("unblock_user", stringMember("username", utf16ToUtf8(name)))) {
        transcript(L"Unblock request sent for " + name + L".");
    }
}

void addSelectedOnlineUserAsFriend()
{
    const std::wstring name = selectedText(idOnlineUsersList);
    if (name.empty()) {
        showMessageBox(mainWindowHandle(), localize(L"Select a player from the online list first."),
                       localize(L"Friends"), MB_ICONINFORMATION);
        return;
    }
    addFriend(name);
}

void removeSelectedFriend()
{
    const std::wstring name = selectedText(idFriendsList);
    if (name.empty()) {
        showMessageBox(mainWindowHandle(), localize(L"Select a friend from the list first."), localize(L"Friends"),
                       MB_ICONINFORMATION);
        return;
    }
    removeFriend(name);
}

}  // namespace Velmor
