// Selecting the workspace page: the active page in the client state and the
// page title on the main window's hidden page-title label. Interface thread.
#pragma once

#include <windows.h>

namespace Velmor {

// The English source text of a page's title; an unknown page gives the room
// chat title.
const wchar_t* workspacePageTitle(int page);

// Makes `page` active and shows its localised title on the page-title label.
// An unknown page selects the room chat page. Nothing when `window` is null.
void selectWorkspacePage(HWND window, int page);

}  // namespace Velmor
