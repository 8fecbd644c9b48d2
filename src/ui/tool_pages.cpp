// The rooms page (create a room, the room table, join), the settings page
// (theme, language, sound, blocked users) and the diagnostics page (the log
// with its search, filter, copy, export and clear).
#include "actions/friends.h"
#include "actions/rooms.h"
#include "app/workspace_navigation.h"
#include "diagnostics/diagnostic_log.h"
#include "i18n/interface_language.h"
#include "json/text_encoding.h"
#include "platform/app_messages.h"
#include "session/client_state.h"
#include "session/presence.h"
#include "settings/settings_store.h"
#include "text/display_text.h"
#include "ui/control_ids.h"
#include "ui/imgui_text.h"
#include "ui/theme.h"
#include "ui/workspace_pages.h"
#include "ui/workspace_state.h"

#include <imgui.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>

namespace Velmor {
namespace {

void selectRoomRow(HWND listView, int row)
{
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = 0;
    ::SendMessageW(listView, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(listView, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void drawRoomsTable(HWND listView, int rowCount, float A, float s)
{
    const ImGuiTableFlags flags = ImGuiTableFlags_RowBg | ImGuiTableFlags_BordersInnerH |
                                  ImGuiTableFlags_SizingStretchProp | ImGuiTableFlags_ScrollY;
    if (!ImGui::BeginTable("RoomsTable", 4, flags)) return;
    ImGui::TableSetupScrollFreeze(0, 1);
    ImGui::TableSetupColumn("Room", ImGuiTableColumnFlags_WidthStretch, 1.2f);
    ImGui::TableSetupColumn("Game", ImGuiTableColumnFlags_WidthStretch, 1.2f);
    ImGui::TableSetupColumn("Players", ImGuiTableColumnFlags_WidthFixed, (A < 620 * s ? 54 : 78) * s);
    ImGui::TableSetupColumn("Host", ImGuiTableColumnFlags_WidthStretch, 1.0f);
    ImGui::TableHeadersRow();

    WorkspaceState& workspace = workspaceState();
    // A refreshed room list comes without a selection: the room still picked
    // here is selected again, and forgotten when it is gone from the list.
    if (!workspace.selectedRoomName.empty() &&
        ::SendMessageW(listView, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED) < 0) {
        int found = -1;
        for (int row = 0; row < rowCount && found < 0; ++row) {
            if (roomListCell(listView, row, 0) == workspace.selectedRoomName) found = row;
        }
        if (found >= 0) {
            selectRoomRow(listView, found);
        } else {
            workspace.selectedRoomName.clear();
        }
    }
    // Only the rows in view are read from the list view and drawn.
    ImGuiListClipper clipper;
    clipper.Begin(rowCount);
    while (clipper.Step()) {
        for (int row = clipper.DisplayStart; row < clipper.DisplayEnd; ++row) {
            const std::wstring roomName = roomListCell(listView, row, 0);
            const std::string room(displayText(utf16ToUtf8(roomName)));
            ImGui::TableNextRow();
            ImGui::TableSetColumnIndex(0);
            ImGui::PushID(row);
            if (ImGui::Selectable(room.c_str(), roomName == workspace.selectedRoomName,
                                  ImGuiSelectableFlags_SpanAllColumns | ImGuiSelectableFlags_AllowDoubleClick)) {
                workspace.selectedRoomName = roomName;
                selectRoomRow(listView, row);
                if (ImGui::IsMouseDoubleClicked(ImGuiMouseButton_Left)) joinSelectedRoom();
            }
            for (int column = 1; column < 4; ++column) {
                ImGui::TableSetColumnIndex(column);
                displayTextUnformatted(utf16ToUtf8(roomListCell(listView, row, column)));
            }
            ImGui::PopID();
        }
    }
    ImGui::EndTable();
}

void changeLanguageFromSettings(int index)
{
    ClientState& state = clientState();
    state.uiLanguage = index;
    SettingsStore::storeUiLanguage(index);
    if (const HWND window = mainWindowHandle()) applyInterfaceLanguage(window);
    DiagnosticLog::write(kLevelInfo, L"Interface language preference updated");
}

void changeThemeFromSettings(int index)
{
    changeTheme(mainWindowHandle(), index);
    // The new colours take effect in this very frame; the running frame's
    // sizes (scaled, some pushed) stay as they are.
    const ImGuiStyle running = ImGui::GetStyle();
    applyImGuiTheme();  // resets the live style and captures the new base style
    ImGuiStyle& live = ImGui::GetStyle();
    ImGuiStyle recoloured = running;
    std::copy(std::begin(live.Colors), std::end(live.Colors), std::begin(recoloured.Colors));
    live = recoloured;
    workspaceState().lastAppliedTheme = clientState().uiTheme;
}

}  // namespace

void drawRoomsPage()
{
    WorkspaceState& workspace = workspaceState();
    const float s = workspace.uiScale;
    const float A = ImGui::GetContentRegionAvail().x;
    const bool narrow = A < 720 * s;

    ImGui::TextUnformatted("Rooms & players");
    ImGui::TextDisabled("Create a lobby, refresh the room list, or join a session.");
    ImGui::Spacing();

    ImGui::BeginChild("CreateRoomCard", ImVec2(0, (narrow ? 164 : 100) * s), ImGuiChildFlags_Borders);
    ImGui::TextUnformatted("CREATE A ROOM");
    float buttonWidth = 0;
    if (narrow) {
        ImGui::SetNextItemWidth(widthBesideLabel("Room name"));
        inputTextString("Room name", workspace.roomNameInput);
        ImGui::SetNextItemWidth(widthBesideLabel("Room name"));
        inputTextString("Game", workspace.gameInput);
        buttonWidth = 132 * s;
    } else {
        const float w = std::min(A * 0.27f, 220 * s);
        ImGui::SetNextItemWidth(w);
        inputTextString("Room name", workspace.roomNameInput);
        ImGui::SameLine();
        ImGui::SetNextItemWidth(w);
        inputTextString("Game", workspace.gameInput);
        ImGui::SameLine();
        buttonWidth = 118 * s;
    }
    if (fittedButton("Create & join", buttonWidth)) {
        setHiddenControlText(idRoomNameBox, workspace.roomNameInput);
        setHiddenControlText(idGameBox, workspace.gameInput);
        createRoom();
    }
    ImGui::EndChild();
    ImGui::Spacing();

    const HWND listView = hiddenControl(idRoomListView);
    const int rowCount = listView ? static_cast<int>(::SendMessageW(listView, LVM_GETITEMCOUNT, 0, 0)) : 0;
    ImGui::BeginChild("RoomTableCard", ImVec2(0, fillHeight(110 * s, 150 * s)), ImGuiChildFlags_Borders);
    ImGui::Text("Available rooms  \xC2\xB7  %d", rowCount);
    ImGui::SameLine();
    ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(ImGui::GetStyle().FramePadding.x, 0));
    ImGui::AlignTextToFramePadding();
    const bool refresh = ImGui::SmallButton("Refresh");
    ImGui::PopStyleVar();
    if (refresh) refreshRoster();
    if (listView) drawRoomsTable(listView, rowCount, A, s);
    ImGui::EndChild();
    ImGui::Spacing();

    const bool small = A < 620 * s;
    if (fittedButton(small ? "Join selected" : "Join selected room", (small ? 135 : 170) * s, 34 * s)) {
        joinSelectedRoom();
    }
    ImGui::SameLine();
    if (fittedButton(small ? "Open chat" : "Open room chat", (small ? 112 : 150) * s, 34 * s)) {
        if (const HWND window = mainWindowHandle()) selectWorkspacePage(window, pageRoomChat);
    }
    if (A >= 650 * s) ImGui::SameLine();
    ImGui::TextDisabled("Members in current room: %zu", clientState().roomMembers.size());
}

void drawSettingsPage()
{
    ClientState& state = clientState();
    const float s = workspaceState().uiScale;

    drawPageHeading("Settings & preferences", "Make the workspace comfortable for your eyes and your workflow.");

    ImGui::BeginChild("AppearanceCard", ImVec2(0, 210 * s), ImGuiChildFlags_Borders);
    ImGui::TextUnformatted("APPEARANCE");
    ImGui::Spacing();
    static const char* const kThemes[] = {"Graphite Dark", "Midnight Blue", "Light Canvas"};
    int theme = std::clamp(state.uiTheme, 0, 2);
    ImGui::SetNextItemWidth(250 * s);
    if (ImGui::Combo("Color theme", &theme, kThemes, 3) && theme != state.uiTheme) changeThemeFromSettings(theme);
    static const char* const kLanguages[] = {"English", "Arabic", "French", "Spanish"};
    int language = std::clamp(state.uiLanguage.load(), 0, 3);
    ImGui::SetNextItemWidth(250 * s);
    if (ImGui::Combo("Interface language", &language, kLanguages, 4) && language != state.uiLanguage) {
        changeLanguageFromSettings(language);
    }
    ImGui::Spacing();
    ImGui::TextWrapped("Graphite Dark is the default. Midnight Blue uses cooler tones, while Light Canvas provides a "
                       "bright workspace.");
    ImGui::EndChild();
    ImGui::Spacing();

    ImGui::BeginChild("NotificationCard", ImVec2(0, 138 * s), ImGuiChildFlags_Borders);
    ImGui::TextUnformatted("NOTIFICATIONS");
    bool sound = state.notificationSound;
    if (ImGui::Checkbox("Play a soft sound when a private message arrives", &sound)) {
        state.notificationSound = sound;
        if (const HWND box = hiddenControl(idNotificationSoundCheck)) {
            ::SendMessageW(box, BM_SETCHECK, sound ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        SettingsStore::storeNotificationSound(sound);
    }
    ImGui::TextDisabled("Desktop message banners remain enabled; this option controls sound only.");
    ImGui::EndChild();

    ImGui::Spacing();
    const float available = ImGui::GetContentRegionAvail().x;
    if (fittedButton("Manage blocked users", 190 * s, 34 * s)) showBlockedUsersMenu();
    if (available >= 500 * s) ImGui::SameLine();
    ImGui::TextDisabled("Block enforcement is performed by the server.");
}

void syncLogViewControls()
{
    WorkspaceState& workspace = workspaceState();
    if (hiddenControl(idLogSearchBox) && workspace.logSearchInput != workspace.lastSyncedLogSearch) {
        setHiddenControlText(idLogSearchBox, workspace.logSearchInput);
        workspace.lastSyncedLogSearch = workspace.logSearchInput;
    }
    if (const HWND filter = hiddenControl(idLogFilterCombo)) {
        ::SendMessageW(filter, CB_SETCURSEL, static_cast<WPARAM>(workspace.logFilterIndex), 0);
    }
    DiagnosticLog::refreshView();
}

void drawDiagnosticsPage()
{
    WorkspaceState& workspace = workspaceState();
    const float s = workspace.uiScale;
    const float W = ImGui::GetContentRegionAvail().x;
    const bool narrow = W < 780 * s;

    drawPageHeading("Diagnostics & logs",
                    "Privacy-aware event stream. Chat message bodies are not recorded in the diagnostic log.");

    ImGui::SetNextItemWidth(std::clamp(W * (narrow ? 0.48f : 0.34f), 160 * s, 285 * s));
    if (inputTextString("Search events", workspace.logSearchInput)) syncLogViewControls();
    if (!narrow) ImGui::SameLine();
    static const char* const kFilters[] = {"All events", "Warnings and errors", "Errors only"};
    ImGui::SetNextItemWidth(std::clamp(W * 0.27f, 150 * s, 190 * s));
    if (ImGui::Combo("Filter", &workspace.logFilterIndex, kFilters, 3)) syncLogViewControls();
    if (!narrow) ImGui::SameLine();
    if (ImGui::Button("Copy log")) {
        syncLogViewControls();
        DiagnosticLog::copyView();
    }
    ImGui::SameLine();
    if (ImGui::Button("Export")) {
        syncLogViewControls();
        DiagnosticLog::exportView();
    }
    ImGui::SameLine();
    if (ImGui::Button("Clear")) DiagnosticLog::clear();

    const std::vector<LogEntry> entries = DiagnosticLog::snapshot();
    std::size_t warnings = 0;
    std::size_t errors = 0;
    for (const LogEntry& entry : entries) {
        warnings += entry.severity == severityWarning;
        errors += entry.severity == severityError;
    }
    ImGui::TextDisabled("%zu events    \xC2\xB7    %zu warnings    \xC2\xB7    %zu errors", entries.size(), warnings,
                        errors);

    ImGui::BeginChild("DiagnosticLogCard", ImVec2(0, fillHeight(0, 150 * s)), ImGuiChildFlags_Borders,
                      ImGuiWindowFlags_HorizontalScrollbar);
    const std::wstring search = lowerCased(utf8ToUtf16(workspace.logSearchInput));
    std::vector<const LogEntry*> shown;
    shown.reserve(entries.size());
    for (const LogEntry& entry : entries) {
        if (workspace.logFilterIndex == 1 && entry.severity == severityOrdinary) continue;
        if (workspace.logFilterIndex == 2 && entry.severity != severityError) continue;
        if (!search.empty() && lowerCased(entry.text).find(search) == std::wstring::npos) continue;
        shown.push_back(&entry);
    }
    const ImVec4 errorColour(1.0f, 0.42f, 0.40f, 1.0f);
    const ImVec4 warningColour(1.0f, 0.76f, 0.35f, 1.0f);
    ImGuiListClipper clipper;
    clipper.Begin(static_cast<int>(shown.size()));
    while (clipper.Step()) {
        for (int i = clipper.DisplayStart; i < clipper.DisplayEnd; ++i) {
            const LogEntry& entry = *shown[static_cast<std::size_t>(i)];
            const ImVec4 colour = entry.severity == severityError     ? errorColour
                                  : entry.severity == severityWarning ? warningColour
                                                                      : ImGui::GetStyleColorVec4(ImGuiCol_Text);
            ImGui::PushStyleColor(ImGuiCol_Text, colour);
            displayTextUnformatted(utf16ToUtf8(entry.text));
            ImGui::PopStyleColor();
        }
    }
    ImGui::EndChild();
}

}  // namespace Velmor
