// The page area of the workspace: the seven pages drawn inside the page
// child, and the helpers they share. The pages never talk to the server
// themselves: they copy what the user typed into the main window's hidden
// native controls and run the same command a native button would. Their
// texts are English in every interface language. Interface thread only.
#pragma once

#include "session/name_list.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace Velmor {

// Draws page `page` (0 room chat ... 6 diagnostics); any other value draws
// nothing.
void drawActivePage(int page);

void drawRoomChatPage();
void drawRosterPage(int page);  // 1 people, 2 friends, 3 recent
void drawRoomsPage();
void drawSettingsPage();
void drawDiagnosticsPage();

// The pages' refresh: "list_users" then "list_rooms" while connected, else
// the English line "Refresh failed: not connected to the server." in the
// transcript.
void refreshRoster();

// One list of player names with selection, double-click to message and the
// "player-actions" pop-up on every row. Only the visible rows are drawn;
// with `filtered`, only the names containing the roster search text
// (ignoring case), the matching rows being found again only when the names
// or the search text change.
void drawPlayerList(const NameList& names, const char* id, bool filtered);

// `text` in lower case, letter by letter (the searches ignore case).
std::wstring lowerCased(std::wstring text);

// The positions in `names` of the names that contain `search` ignoring case;
// every position for an empty search.
std::vector<int> namesMatching(const NameList& names, const std::wstring& search);

// The transcript's lines (views into ActivityTranscript::text(), without
// their line ends), split again only when the transcript changed. They are
// converted for drawing one by one, only those in view: a UTF-8 copy of the
// whole transcript would add half its size again, for nothing on screen.
const std::vector<std::wstring_view>& transcriptLines();

// The main window's hidden control `id`, or null; setting its text (UTF-8
// given) does nothing without it.
HWND hiddenControl(int id);
void setHiddenControlText(int id, const std::string& utf8);

// A page's title and its subtitle, wrapped at the page's right edge.
void drawPageHeading(const char* title, const char* subtitle);

// Brings the hidden log search box and filter combo box in line with the
// diagnostics page and rebuilds the log's filtered view from them.
void syncLogViewControls();

}  // namespace Velmor
