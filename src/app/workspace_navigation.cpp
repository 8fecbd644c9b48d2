// Workspace page selection for the main window.
#include "app/workspace_navigation.h"

#include "i18n/localize.h"
#include "session/client_state.h"
#include "ui/control_ids.h"

namespace Velmor {
namespace {

bool isKnownPage(int page) { return page >= pageRoomChat && page <= pageDiagnostics; }

}  // namespace

const wchar_t* workspacePageTitle(int page)
{
    switch (page) {
    case pagePeople: return L"People online";
    case pageFriends: return L"Friends";
    case pageRecent: return L"Recently active";
    case pageRooms: return L"Rooms & players";
    case pageSettings: return L"Settings & notifications";
    case pageDiagnostics: return L"Diagnostics & logs";
    default: return L"Room chat";
    }
}

void selectWorkspacePage(HWND window, int page)
{
    if (!window) return;
    // An unknown page would leave the workspace with nothing to draw while the
    // title claims room chat; make the state agree with the title instead.
    const WorkspacePageId active = isKnownPage(page) ? static_cast<WorkspacePageId>(page) : pageRoomChat;
    clientState().activePage = active;
    if (const HWND label = ::GetDlgItem(window, idPageTitleLabel)) {
        ::SetWindowTextW(label, localize(workspacePageTitle(active)).c_str());
    }
}

}  // namespace Velmor
