#include "ui/workspace_pages.h"

#include "session/client_state.h"

#include <imgui.h>

namespace Velmor {

const char* workspacePageHeading(int page)
{
    switch (page) {
    case pageRoomChat: return "Room chat";
    case pagePeople: return "People online";
    case pageFriends: return "Friends";
    case pageRecent: return "Recent activity";
    case pageRooms: return "Rooms & players";
    case pageSettings: return "Settings & preferences";
    case pageDiagnostics: return "Diagnostics & logs";
    default: return nullptr;
    }
}

void drawActivePage(int page)
{
    const char* heading = workspacePageHeading(page);
    if (!heading) return;
    // The pages' contents arrive with their own change; until then the page
    // area says plainly what it is and that there is nothing here yet.
    ImGui::TextUnformatted(heading);
    ImGui::TextDisabled("This page is not available in this build yet.");
}

}  // namespace Velmor
