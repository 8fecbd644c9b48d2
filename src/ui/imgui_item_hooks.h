// The toolkit can report every item it lays out, with its label and its
// place on the screen, to one observer. Tests attach one to find a widget by
// its label and click it where a person would; without an observer the
// toolkit only tests a flag per item.
#pragma once

#include <imgui.h>

namespace Velmor {

class ImGuiItemObserver {
public:
    virtual ~ImGuiItemObserver() = default;
    // An item was laid out at min..max (screen pixels) in `window`, where
    // the id of a label is made from `seed` (items that report no label can
    // still be found by theirs).
    virtual void itemAdded(ImGuiID id, ImGuiID seed, ImVec2 min, ImVec2 max, const char* window) = 0;
    // The label of the item last added.
    virtual void itemLabelled(ImGuiID id, const char* label) = 0;
};

// Attaches `observer` to the current context; null detaches.
void attachItemObserver(ImGuiItemObserver* observer);

}  // namespace Velmor
