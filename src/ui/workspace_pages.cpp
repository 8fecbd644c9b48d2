// What the workspace pages share: the page switch, the refresh, the player
// list and the transcript's UTF-8 form.
#include "ui/workspace_pages.h"

#include "actions/player_menu.h"
#include "diagnostics/diagnostic_log.h"
#include "dm/direct_messages.h"
#include "json/text_encoding.h"
#include "platform/app_messages.h"
#include "session/client_state.h"
#include "session/session.h"
#include "text/display_text.h"
#include "ui/workspace_state.h"

#include <imgui.h>

#include <map>

namespace Velmor {
namespace {

// The rows a filtered list shows, found again only when its names or the
// search text differ from the ones they were found for.
struct FilteredRows {
    NameList names;
    std::string search;
    std::vector<int> rows;
};

const std::vector<int>& filteredRows(const char* id, const NameList& names, const std::string& search)
{
    static std::map<std::string, FilteredRows> cache;
    FilteredRows& entry = cache[id];
    if (entry.search != search || entry.names != names) {
        entry.names = names;
        entry.search = search;
        entry.rows = namesMatching(names, utf8ToUtf16(search));
    }
    return entry.rows;
}

void drawPlayerRow(const std::wstring& name, int index)
{
    WorkspaceState& workspace = workspaceState();
    const bool blocked = clientState().isServerBlocked(name);
    ImGui::PushID(index);
    // One buffer for every row and frame: a shaped name is longer in UTF-8
    // than its letters (three bytes a presentation form), too long for a
    // string's inline storage, and would cost an allocation a row.
    static std::string label;
    label.assign(blocked ? "\xE2\x8A\x98  " : "\xE2\x97\x8F  ");
    label += displayText(utf16ToUtf8(name));
    if (ImGui::Selectable(label.c_str(), name == workspace.selectedPlayer, ImGuiSelectableFlags_AllowDoubleClick)) {
        workspace.selectedPlayer = name;
        if (ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left) && !blocked) openDirectMessage(name, true);
    }
    drawPlayerActionsPopup(name);
    ImGui::PopID();
}

}  // namespace

void drawActivePage(int page)
{
    switch (page) {
    case pageRoomChat: drawRoomChatPage(); break;
    case pagePeople:
    case pageFriends:
    case pageRecent: drawRosterPage(page); break;
    case pageRooms: drawRoomsPage(); break;
    case pageSettings: drawSettingsPage(); break;
    case pageDiagnostics: drawDiagnosticsPage(); break;
    default: break;
    }
}

void refreshRoster()
{
    if (clientState().connected) {
        sendRequest("list_users");
        sendRequest("list_rooms");
    } else {
        ActivityTranscript::append(L"Refresh failed: not connected to the server.");
    }
}

std::wstring lowerCased(std::wstring text)
{
    // The platform's lower case for every letter, not only the C locale's
    // A to Z: a search for "ÉMILE" finds "émile".
    if (!text.empty()) ::CharLowerBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

std::vector<int> namesMatching(const NameList& names, const std::wstring& search)
{
    std::vector<int> rows;
    rows.reserve(names.size());
    const std::wstring needle = lowerCased(search);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (needle.empty() || lowerCased(names[i]).find(needle) != std::wstring::npos) {
            rows.push_back(static_cast<int>(i));
        }
    }
    return rows;
}

void drawPlayerList(const NameList& names, const char* id, bool filtered)
{
    ImGui::PushID(id);
    const std::string& search = workspaceState().rosterSearchInput;
    const std::vector<int>* rows = filtered && !search.empty() ? &filteredRows(id, names, search) : nullptr;
    const int count = rows ? static_cast<int>(rows->size()) : static_cast<int>(names.size());
    ImGuiListClipper clipper;
    clipper.Begin(count);
    while (clipper.Step()) {
        for (int shown = clipper.DisplayStart; shown < clipper.DisplayEnd; ++shown) {
            const int index = rows ? (*rows)[static_cast<std::size_t>(shown)] : shown;
            drawPlayerRow(names[static_cast<std::size_t>(index)], index);
        }
    }
    ImGui::PopID();
}

namespace {

struct TranscriptCache {
    std::uint64_t revision = 0;
    std::vector<std::wstring_view> lines;
};

}  // namespace

const std::vector<std::wstring_view>& transcriptLines()
{
    static TranscriptCache cache;
    if (ActivityTranscript::revision() != cache.revision) {
        cache.revision = ActivityTranscript::revision();
        cache.lines.clear();
        const std::wstring_view all = ActivityTranscript::text();
        for (std::size_t start = 0; start < all.size();) {
            std::size_t end = all.find(L'\n', start);
            if (end == std::wstring_view::npos) end = all.size();
            std::size_t content = end;
            if (content > start && all[content - 1] == L'\r') --content;
            cache.lines.push_back(all.substr(start, content - start));
            start = end + 1;
        }
    }
    return cache.lines;
}

HWND hiddenControl(int id)
{
    const HWND window = mainWindowHandle();
    return window ? ::GetDlgItem(window, id) : nullptr;
}

void setHiddenControlText(int id, const std::string& utf8)
{
    if (const HWND control = hiddenControl(id)) ::SetWindowTextW(control, utf8ToUtf16(utf8).c_str());
}

void drawPageHeading(const char* title, const char* subtitle)
{
    ImGui::TextUnformatted(title);
    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextDisabled("%s", subtitle);
    ImGui::PopTextWrapPos();
    ImGui::Spacing();
}

}  // namespace Velmor
