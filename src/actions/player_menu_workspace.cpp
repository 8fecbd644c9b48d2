// The workspace's player pop-up and selected-player card (Dear ImGui). Their
// labels are English in every interface language.
#include "actions/friends.h"
#include "actions/host_moderation.h"
#include "actions/player_menu.h"
#include "json/text_encoding.h"
#include "session/client_state.h"
#include "text/display_text.h"
#include "ui/control_ids.h"
#include "ui/workspace_state.h"

#include <imgui.h>

namespace Velmor {
namespace {

// The card's buttons, in order; the second is "Add friend" or "Remove friend",
// the third "Block" or "Unblock".
constexpr const char* kWidestCardLabels[] = {"Message", "Remove friend", "Unblock"};

float buttonWidth(const char* label)
{
    return ImGui::CalcTextSize(label, nullptr, true).x + 2 * ImGui::GetStyle().FramePadding.x;
}

// Puts the next button beside the last item when it fits there, else on a
// line of its own.
void sameLineIfFits(const char* nextLabel)
{
    const float right = ImGui::GetCursorScreenPos().x + ImGui::GetContentRegionAvail().x;
    if (ImGui::GetItemRectMax().x + ImGui::GetStyle().ItemSpacing.x + buttonWidth(nextLabel) <= right) {
        ImGui::SameLine();
    }
}

}  // namespace

void drawPlayerActionsPopup(const std::wstring& name)
{
    if (!ImGui::BeginPopupContextItem("player-actions")) return;
    const ClientState& state = clientState();
    const bool blocked = state.isServerBlocked(name);
    const bool isFriend = containsName(state.friends, name);
    const std::string label = utf16ToUtf8(name);
    const std::string_view shown = displayText(label);
    ImGui::TextUnformatted(shown.data(), shown.data() + shown.size());
    ImGui::Separator();
    if (ImGui::MenuItem("Message privately", nullptr, false, !blocked)) runPlayerCommand(idPlayerMessage, name);
    if (ImGui::MenuItem(isFriend ? "Remove from friends" : "Add to friends") && !name.empty()) {
        if (isFriend) {
            removeFriend(name);
        } else {
            addFriend(name);
        }
    }
    if (ImGui::MenuItem(blocked ? "Unblock on server" : "Block on server") && !name.empty()) toggleServerBlock(name);
    // The host's two commands, offered for the other members of the room as
    // the native menu offers them; a member who is not the host sees them
    // greyed with the host named.
    if (state.roomJoined && containsNameIgnoringCase(state.roomMembers, name) &&
        !equalsIgnoringCase(name, utf8ToUtf16(clientState().readUsername()))) {
        const bool host = isSelfRoomHost();
        ImGui::Separator();
        if (ImGui::MenuItem("Transfer host", nullptr, false, host)) runPlayerCommand(idPlayerTransferHost, name);
        if (ImGui::MenuItem("Kick from room", nullptr, false, host)) runPlayerCommand(idPlayerKick, name);
        if (!host) {
            if (state.roomHost.empty()) {
                ImGui::TextDisabled("(host only)");
            } else {
                const std::string hostName = utf16ToUtf8(state.roomHost);
                const std::string_view shownHost = displayText(hostName);
                ImGui::TextDisabled("(host only \xC2\xB7 current host: %.*s)", static_cast<int>(shownHost.size()),
                                    shownHost.data());
            }
        }
    }
    ImGui::EndPopup();
}

void drawSelectedPlayerCard(bool onFriendsPage)
{
    // A copy: the actions below may change the selection.
    const std::wstring name = workspaceState().selectedPlayer;
    if (name.empty()) {
        ImGui::TextWrapped("Select a player to see quick actions. Right-click a name for more options.");
        return;
    }
    const ClientState& state = clientState();
    const std::string label = utf16ToUtf8(name);
    const std::string_view shown = displayText(label);
    if (ImGui::GetContentRegionAvail().x >= 245.0f * workspaceState().uiScale) {
        ImGui::Text("Selected: %.*s", static_cast<int>(shown.size()), shown.data());
        ImGui::SameLine();
    } else {
        ImGui::TextDisabled("Selected player");
        ImGui::TextUnformatted(shown.data(), shown.data() + shown.size());
    }
    if (ImGui::Button("Message")) runPlayerCommand(idPlayerMessage, name);
    const bool isFriend = onFriendsPage || containsName(state.friends, name);
    const char* friendLabel = isFriend ? "Remove friend" : "Add friend";
    sameLineIfFits(friendLabel);
    if (ImGui::Button(friendLabel)) {
        if (isFriend) {
            removeFriend(name);
        } else {
            addFriend(name);
        }
    }
    const char* blockLabel = state.isServerBlocked(name) ? "Unblock" : "Block";
    sameLineIfFits(blockLabel);
    if (ImGui::Button(blockLabel)) toggleServerBlock(name);
}

float selectedPlayerCardHeight(float width)
{
    // Rows of buttons when each goes beside the last while it fits.
    const float spacing = ImGui::GetStyle().ItemSpacing.x;
    int rows = 1;
    float used = 0;
    for (const char* label : kWidestCardLabels) {
        const float button = buttonWidth(label);
        if (used > 0 && used + spacing + button > width) {
            ++rows;
            used = 0;
        }
        used += (used > 0 ? spacing : 0) + button;
    }
    // "Selected player" and the name above them (or the hint, as tall).
    return 2 * ImGui::GetTextLineHeightWithSpacing() + rows * ImGui::GetFrameHeightWithSpacing();
}

}  // namespace Velmor
