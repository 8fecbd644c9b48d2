// The room chat page (the room's conversation, the online roster and the
// composer) and the roster page that serves the people, friends and recent
// pages.
#include "actions/player_menu.h"
#include "actions/rooms.h"
#include "json/text_encoding.h"
#include "platform/app_messages.h"
#include "session/client_state.h"
#include "text/display_text.h"
#include "ui/control_ids.h"
#include "ui/imgui_text.h"
#include "ui/workspace_pages.h"
#include "ui/workspace_state.h"

#include <imgui.h>

#include <algorithm>

namespace Velmor {
namespace {

void drawChatLog()
{
    ImGui::BeginChild("ChatLog", ImVec2(0, 0), ImGuiChildFlags_None, ImGuiWindowFlags_HorizontalScrollbar);
    const std::vector<std::wstring_view>& lines = transcriptLines();
    if (lines.empty()) {
        ImGui::Spacing();
        ImGui::TextDisabled("Your conversation will appear here.");
        ImGui::TextWrapped("Join a room from the Rooms workspace to start chatting with the community.");
    } else {
        // Follow the bottom unless the reader has scrolled up.
        const bool atBottom = ImGui::GetScrollY() >= ImGui::GetScrollMaxY() - 25.0f;
        // Line by line, each in its display form (a right-to-left line
        // against the right edge), only the lines in view; spaced as one
        // block of text.
        ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(ImGui::GetStyle().ItemSpacing.x, 0));
        ImGuiListClipper clipper;
        clipper.Begin(static_cast<int>(lines.size()), ImGui::GetTextLineHeight());
        while (clipper.Step()) {
            for (int line = clipper.DisplayStart; line < clipper.DisplayEnd; ++line) {
                displayTextUnformatted(utf16ToUtf8(lines[static_cast<std::size_t>(line)]), true);
            }
        }
        ImGui::PopStyleVar();
        if (atBottom) ImGui::SetScrollHereY(1.0f);
    }
    ImGui::EndChild();
}

void drawChatPanels(float s)
{
    const ClientState& state = clientState();
    const float T = ImGui::GetContentRegionAvail().x;
    const float P = T < 560 * s ? std::clamp(T * 0.31f, 132 * s, 245 * s) : std::clamp(T * 0.28f, 168 * s, 245 * s);
    const bool stacked = T < 660 * s;

    ImGui::BeginChild("ConversationPanel", ImVec2(stacked ? 0 : std::max(T - P - 10 * s, 145 * s), 0),
                      ImGuiChildFlags_Borders);
    const std::string room = state.currentRoom.empty() ? "ROOM CONVERSATION" : utf16ToUtf8(state.currentRoom);
    displayTextUnformatted(room);
    if (stacked) {
        ImGui::SameLine();
        if (ImGui::SmallButton("Online roster")) ImGui::OpenPopup("online-roster-popup");
    } else if (ImGui::GetContentRegionAvail().x > 270 * s) {
        ImGui::SameLine();
        ImGui::TextDisabled(state.roomJoined ? "\xE2\x97\x8F joined" : "\xE2\x97\x8B not in a room");
    }
    ImGui::Separator();
    drawChatLog();
    if (stacked && ImGui::BeginPopup("online-roster-popup")) {
        ImGui::Text("Online now \xC2\xB7 %zu", state.onlineUsers.size());
        ImGui::Separator();
        ImGui::BeginChild("OnlineRosterPopupList", ImVec2(0, 180 * s), ImGuiChildFlags_None,
                          ImGuiWindowFlags_AlwaysVerticalScrollbar);
        drawPlayerList(state.onlineUsers, "online-chat-popup", false);
        ImGui::EndChild();
        ImGui::Separator();
        drawSelectedPlayerCard(false);
        ImGui::EndPopup();
    }
    ImGui::EndChild();

    if (stacked) return;
    ImGui::SameLine(0, 10 * s);
    ImGui::BeginChild("OnlinePanel", ImVec2(P, 0), ImGuiChildFlags_Borders);
    ImGui::TextUnformatted("Online now");
    ImGui::SameLine();
    ImGui::TextDisabled("%zu", state.onlineUsers.size());
    ImGui::Separator();
    // Below the roster: a separator and the selected-player card.
    const float card = ImGui::GetStyle().ItemSpacing.y * 2 + selectedPlayerCardHeight(ImGui::GetContentRegionAvail().x);
    ImGui::BeginChild("OnlineRoster", ImVec2(0, fillHeight(card, 60 * s)), ImGuiChildFlags_None,
                      ImGuiWindowFlags_AlwaysVerticalScrollbar);
    drawPlayerList(state.onlineUsers, "online-chat", false);
    ImGui::EndChild();
    ImGui::Separator();
    drawSelectedPlayerCard(false);
    ImGui::EndChild();
}

void drawComposer(float B, float s)
{
    WorkspaceState& workspace = workspaceState();
    const bool narrow = B < 620 * s;
    const char* sendLabel = narrow ? "Send" : "Send message";
    const float padding = 2 * ImGui::GetStyle().FramePadding.x;
    const float sendWidth = std::max((narrow ? 82 : 108) * s, ImGui::CalcTextSize(sendLabel).x + padding);
    const float leaveWidth = std::max((narrow ? 82 : 100) * s, ImGui::CalcTextSize("Leave room").x + padding);
    ImGui::SetNextItemWidth(-(sendWidth + leaveWidth + 24 * s));
    if (workspace.roomMessageFocusRequest) {
        ImGui::SetKeyboardFocusHere();
        workspace.roomMessageFocusRequest = false;
    }
    const bool entered = inputTextString("##room-message", workspace.roomMessageInput,
                                         ImGuiInputTextFlags_EnterReturnsTrue);
    ImGui::SameLine();
    const bool pressed = ImGui::Button(sendLabel, ImVec2(sendWidth, 0));
    ImGui::SameLine();
    if (ImGui::Button("Leave room", ImVec2(leaveWidth, 0))) leaveRoom();
    if (!entered && !pressed) return;

    setHiddenControlText(idRoomMessageBox, workspace.roomMessageInput);
    sendRoomMessage();
    // The command empties the hidden box after a successful send only.
    const HWND box = hiddenControl(idRoomMessageBox);
    if (box && ::GetWindowTextLengthW(box) == 0) workspace.roomMessageInput.clear();
    // Enter ends the edit; the next line is typed straight away.
    if (entered) workspace.roomMessageFocusRequest = true;
}

}  // namespace

void drawRoomChatPage()
{
    const ClientState& state = clientState();
    const float s = workspaceState().uiScale;
    const float B = ImGui::GetContentRegionAvail().x;

    ImGui::TextUnformatted("Room chat");
    if (B < 720 * s) {
        ImGui::TextDisabled("Live conversation and online presence");
        if (ImGui::Button(ImGui::GetContentRegionAvail().x < 470 * s ? "Refresh roster" : "Refresh  F5")) {
            refreshRoster();
        }
    } else {
        ImGui::SameLine(0, 8 * s);
        ImGui::TextDisabled("Live conversation and online presence");
        ImGui::SameLine();
        if (ImGui::Button("Refresh  F5")) refreshRoster();
    }

    ImGui::Spacing();
    const float V = ImGui::GetContentRegionAvail().y;
    const float panelsHeight = std::max(V - (B < 720 * s ? 118 : 100) * s, 100 * s);
    if (ImGui::BeginChild("ChatPanels", ImVec2(0, panelsHeight))) drawChatPanels(s);
    ImGui::EndChild();
    ImGui::Spacing();

    drawComposer(B, s);

    if (state.roomJoined) {
        const std::string room = utf16ToUtf8(state.currentRoom);
        const std::string_view shown = displayText(room);
        ImGui::TextDisabled("Connected to %.*s  \xC2\xB7  Room members: %zu", static_cast<int>(shown.size()),
                            shown.data(), state.roomMembers.size());
    } else {
        ImGui::TextDisabled("Tip: choose Rooms to create a lobby or join an existing room.");
    }
}

void drawRosterPage(int page)
{
    static const struct {
        const char* title;
        const char* subtitle;
        const char* empty;
    } kPages[] = {
        {"People online", "Find someone in the live community roster.", "Nobody is online yet."},
        {"Friends", "Your local friends list. Right-click for message and moderation actions.",
         "Your friends list is empty."},
        {"Recent activity", "People you have encountered recently.", "No recent users yet."},
    };
    if (page < pagePeople || page > pageRecent) return;
    const auto& texts = kPages[page - pagePeople];
    const ClientState& state = clientState();
    const NameList& names = page == pagePeople ? state.onlineUsers
                            : page == pageFriends ? state.friends
                                                  : state.recentUsers;
    WorkspaceState& workspace = workspaceState();
    const float s = workspace.uiScale;

    drawPageHeading(texts.title, texts.subtitle);

    const float W = ImGui::GetContentRegionAvail().x;
    const bool narrow = W < 670 * s;
    ImGui::SetNextItemWidth(std::clamp(W * (narrow ? 0.52f : 0.42f), 120 * s, 320 * s));
    inputTextString("Search players", workspace.rosterSearchInput);
    if (!narrow) ImGui::SameLine();
    if (ImGui::Button(narrow ? "Clear" : "Clear search")) workspace.rosterSearchInput.clear();
    if (page == pagePeople) {
        if (!narrow) ImGui::SameLine();
        if (ImGui::Button(narrow ? "Refresh" : "Refresh roster")) refreshRoster();
    }

    ImGui::Spacing();
    ImGui::BeginChild("PlayerRosterCard", ImVec2(0, fillHeight(86 * s, 120 * s)), ImGuiChildFlags_Borders);
    if (names.empty()) {
        ImGui::Spacing();
        ImGui::TextDisabled("%s", texts.empty);
    } else {
        drawPlayerList(names, texts.title, true);
    }
    ImGui::EndChild();
    drawSelectedPlayerCard(page == pageFriends);
}

}  // namespace Velmor
