// The page area of the workspace: draws the active page inside the page child.
#pragma once

namespace Velmor {

// The workspace title of a page (English; the pages do not localise).
const char* workspacePageHeading(int page);

// Draws page `page` (0 room chat ... 6 diagnostics); any other value draws
// nothing.
void drawActivePage(int page);

}  // namespace Velmor
