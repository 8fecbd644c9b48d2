#include "session/presence.h"

#include "i18n/localize.h"
#include "json/text_encoding.h"
#include "platform/app_messages.h"
#include "ui/control_ids.h"
#include "ui/roster_list_box.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <unordered_set>
#include <vector>

namespace Velmor {
namespace {

// A hash set over the names of a list. The rules below are stated as linear
// searches; the set gives the same answers in constant time, which keeps a
// snapshot of thousands of names cheap. One table of positions in the list,
// probed in turn: no allocation per name.
class NameSet {
public:
    explicit NameSet(const NameList& list) : list_(list)
    {
        std::size_t capacity = 16;
        while (capacity < list.size() * 2) capacity *= 2;
        slots_.assign(capacity, kEmpty);
        for (std::size_t i = 0; i < list.size(); ++i) {
            std::size_t slot = firstSlot(list[i]);
            while (slots_[slot] != kEmpty) slot = (slot + 1) & (capacity - 1);
            slots_[slot] = i;
        }
    }

    bool contains(std::wstring_view name) const
    {
        for (std::size_t slot = firstSlot(name); slots_[slot] != kEmpty; slot = (slot + 1) & (slots_.size() - 1)) {
            if (list_[slots_[slot]] == name) return true;
        }
        return false;
    }

private:
    static constexpr std::size_t kEmpty = SIZE_MAX;
    std::size_t firstSlot(std::wstring_view name) const
    {
        return std::hash<std::wstring_view>{}(name) & (slots_.size() - 1);
    }
    const NameList& list_;
    std::vector<std::size_t> slots_;
};

HWND mainChild(int id)
{
    const HWND window = mainWindowHandle();
    return window ? ::GetDlgItem(window, id) : nullptr;
}

void refill(int id, const NameList& names)
{
    if (const HWND list = mainChild(id)) fillRosterListBox(list, names);
}

void invalidate(int id)
{
    if (const HWND control = mainChild(id)) ::InvalidateRect(control, nullptr, TRUE);
}

// The online list changed: the online list box is refilled, and the lists
// that mark who is online are redrawn.
void onlineListChanged(const ClientState& state)
{
    refill(idOnlineUsersList, state.onlineUsers);
    invalidate(idFriendsList);
    invalidate(idRecentUsersList);
    invalidate(idRoomMembersList);
}

const JsonValue* arrayMember(const JsonValue& message, std::string_view key)
{
    const JsonValue* value = message.member(key);
    return value && value->kind == JsonKind::Array ? value : nullptr;
}

void keepFirstRecent(NameList& recent)
{
    if (recent.size() > kRecentUsersLimit) recent.resize(kRecentUsersLimit);
}

}  // namespace

std::wstring roomListCell(HWND listView, int row, int column)
{
    wchar_t buffer[512] = {};
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 512;
    ::SendMessageW(listView, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return buffer;
}

namespace {

void setListViewCell(HWND listView, int row, int column, const std::wstring& text)
{
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    ::SendMessageW(listView, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

}  // namespace

std::wstring nameFromElement(const JsonValue& element)
{
    // A string element is read in place rather than through a copy from asText.
    if (element.kind == JsonKind::String) return trimWhitespace(utf8ToUtf16(element.stringValue));
    return trimWhitespace(utf8ToUtf16(element.asText("")));
}

NameList uniqueNames(const JsonValue& array, std::size_t limit)
{
    NameList names;
    // Reserved up front so that the views in `seen` stay valid.
    names.reserve(std::min(array.arrayItems.size(), limit));
    std::unordered_set<std::wstring_view> seen;
    seen.reserve(names.capacity());
    for (const JsonValue& element : array.arrayItems) {
        if (names.size() >= limit) break;
        std::wstring name = nameFromElement(element);
        if (name.empty() || seen.count(name) != 0) continue;
        names.push_back(std::move(name));
        seen.insert(names.back());
    }
    return names;
}

void showOnlineCount(std::size_t count)
{
    if (const HWND label = mainChild(idOnlineCountLabel)) {
        ::SetWindowTextW(label, onlineCountText(count).c_str());
    }
}

void applyUsersList(ClientState& state, const JsonValue& message, std::optional<NameList> onlineNames)
{
    // Only the recent list is copied for the comparison; the new online list
    // is compared with the current one before it replaces it.
    const NameList oldRecent = state.recentUsers;
    bool onlineChanged = false;

    const JsonValue* users = arrayMember(message, "users");
    if (users) {
        NameList online = onlineNames ? std::move(*onlineNames) : uniqueNames(*users);
        onlineChanged = online != state.onlineUsers;
        if (onlineChanged) {
            // Every new name is noted in order, each moving to the front of
            // the recent list; only the last 20 of them can remain there, so
            // noting just those gives the same list. An unchanged list has no
            // new names.
            const NameSet wasOnline(state.onlineUsers);
            std::vector<const std::wstring*> arrivals;
            for (const std::wstring& name : online) {
                if (!wasOnline.contains(name)) arrivals.push_back(&name);
            }
            const std::size_t skipped = arrivals.size() > kRecentUsersLimit ? arrivals.size() - kRecentUsersLimit : 0;
            for (std::size_t i = skipped; i < arrivals.size(); ++i) state.noteRecentUser(*arrivals[i]);
            state.onlineUsers = std::move(online);
        }
    }
    if (const JsonValue* recent = arrayMember(message, "recent_users")) {
        state.recentUsers = uniqueNames(*recent, kRecentUsersLimit);
    }
    keepFirstRecent(state.recentUsers);

    const bool recentChanged = state.recentUsers != oldRecent;
    if (onlineChanged) onlineListChanged(state);
    if (recentChanged) refill(idRecentUsersList, state.recentUsers);

    std::int64_t count = static_cast<std::int64_t>(state.onlineUsers.size());
    if (!users) {
        if (const JsonValue* reported = message.member("online_count")) count = reported->asInteger(count);
    }
    showOnlineCount(count < 1 ? 0 : static_cast<std::size_t>(count));

    if (recentChanged) state.saveStoredLists();
}

void applyPresenceDelta(ClientState& state, const JsonValue& message)
{
    const NameList oldRecent = state.recentUsers;
    NameList& online = state.onlineUsers;
    const std::size_t oldSize = online.size();

    // Departures, remembering which entries went and from where, so that the
    // change can be told without a copy of the whole list.
    std::size_t firstRemoved = oldSize;
    NameList removed;
    if (const JsonValue* offline = arrayMember(message, "went_offline")) {
        std::unordered_set<std::wstring> leaving;
        for (const JsonValue& element : offline->arrayItems) leaving.insert(nameFromElement(element));
        std::size_t kept = 0;
        for (std::size_t i = 0; i < online.size(); ++i) {
            if (leaving.count(online[i]) != 0) {
                firstRemoved = std::min(firstRemoved, i);
                removed.push_back(std::move(online[i]));
            } else {
                if (kept != i) online[kept] = std::move(online[i]);
                ++kept;
            }
        }
        online.resize(kept);
    }

    const std::size_t keptSize = online.size();
    const bool carriesRecent = message.member("recent_users") != nullptr;
    if (const JsonValue* arriving = arrayMember(message, "went_online")) {
        // Reserved so that the views in `present` stay valid as names are added.
        online.reserve(online.size() + arriving->arrayItems.size());
        std::unordered_set<std::wstring_view> present(online.begin(), online.end());
        for (const JsonValue& element : arriving->arrayItems) {
            std::wstring name = nameFromElement(element);
            if (name.empty()) continue;
            if (present.count(name) == 0) {
                online.push_back(name);
                present.insert(online.back());
            }
            if (!carriesRecent) state.noteRecentUser(name);
        }
    }
    if (const JsonValue* recent = arrayMember(message, "recent_users")) {
        state.recentUsers = uniqueNames(*recent, kRecentUsersLimit);
    }
    keepFirstRecent(state.recentUsers);

    // The list is unchanged only when nothing went and nothing came, or when
    // exactly its last entries went and the same came back in the same order.
    const std::size_t added = online.size() - keptSize;
    const bool onlineChanged =
        (removed.size() != 0 || added != 0) &&
        !(removed.size() == added && firstRemoved == oldSize - removed.size() &&
          std::equal(removed.begin(), removed.end(), online.begin() + static_cast<std::ptrdiff_t>(keptSize)));
    if (onlineChanged) onlineListChanged(state);
    if (state.recentUsers != oldRecent) {
        refill(idRecentUsersList, state.recentUsers);
        state.saveStoredLists();
    }
    showOnlineCount(online.size());
}

void applyRoomsList(ClientState& state, const JsonValue& message)
{
    const HWND listView = mainChild(idRoomListView);
    if (!listView) return;

    ::SendMessageW(listView, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(listView, LVM_DELETEALLITEMS, 0, 0);
    std::wstring rememberedHost;
    if (const JsonValue* rooms = arrayMember(message, "rooms")) {
        for (const JsonValue& room : rooms->arrayItems) {
            const std::wstring name = utf8ToUtf16(memberText(room, "name"));
            std::wstring game = utf8ToUtf16(memberText(room, "game"));
            if (game.empty()) game = kDefaultGame;
            const std::wstring host = utf8ToUtf16(memberText(room, "host"));
            std::int64_t players = 0;
            if (const JsonValue* users = room.member("users")) {
                players = users->asInteger(0);
            } else if (const JsonValue* count = room.member("players")) {
                players = count->asInteger(0);
            }
            const JsonValue* maximumMember = room.member("max_players");
            const std::int64_t maximum = maximumMember ? maximumMember->asInteger(0) : 0;

            if (!state.currentRoom.empty() && name == state.currentRoom) rememberedHost = host;

            LVITEMW item = {};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(::SendMessageW(listView, LVM_GETITEMCOUNT, 0, 0));
            item.pszText = const_cast<wchar_t*>(name.c_str());
            const int row =
                static_cast<int>(::SendMessageW(listView, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
            if (row < 0) continue;
            std::wstring playersText = std::to_wstring(players);
            if (maximum >= 1) playersText += L"/" + std::to_wstring(maximum);
            setListViewCell(listView, row, 1, game);
            setListViewCell(listView, row, 2, playersText);
            setListViewCell(listView, row, 3, host);
        }
    }
    ::SendMessageW(listView, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(listView, nullptr, TRUE);

    if (!state.currentRoom.empty() && !rememberedHost.empty()) state.roomHost = rememberedHost;
}

}  // namespace Velmor
