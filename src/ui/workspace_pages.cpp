#include "ui/workspace_pages.h"

#include "app/workspace_navigation.h"
#include "json/text_encoding.h"
#include "session/client_state.h"

#include <imgui.h>

namespace Velmor {

std::string workspacePageHeading(int page)
{
    if (page < pageRoomChat || page > pageDiagnostics) return {};
    // The same title the page-title label shows, from the one title table.
    return utf16ToUtf8(workspacePageTitle(page));
}

void drawActivePage(int page)
{
    const std::string heading = workspacePageHeading(page);
    if (heading.empty()) return;
    // The pages' contents arrive with their own change; until then the page
    // area says plainly what it is and that there is nothing here yet.
    ImGui::TextUnformatted(heading.c_str());
    // Wrapped, so that a narrow page area at a large scale does not cut it.
    ImGui::PushTextWrapPos(0.0f);
    ImGui::TextDisabled("This page is not available in this build yet.");
    ImGui::PopTextWrapPos();
}

}  // namespace Velmor
