// The page area of the workspace: draws the active page inside the page child.
#pragma once

#include <string>

namespace Velmor {

// The workspace title of a page (UTF-8, English: the workspace does not
// localise); the page-title label's title. Empty for an unknown page.
std::string workspacePageHeading(int page);

// Draws page `page` (0 room chat ... 6 diagnostics); any other value draws
// nothing.
void drawActivePage(int page);

}  // namespace Velmor
