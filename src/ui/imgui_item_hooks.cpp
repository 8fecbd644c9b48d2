// The toolkit's item hooks (built with IMGUI_ENABLE_TEST_ENGINE), forwarded
// to the observer kept in the context.
#include "ui/imgui_item_hooks.h"

#include <imgui_internal.h>

namespace Velmor {

void attachItemObserver(ImGuiItemObserver* observer)
{
    ImGuiContext* context = ImGui::GetCurrentContext();
    if (!context) return;
    context->TestEngine = observer;
    context->TestEngineHookItems = observer != nullptr;
}

}  // namespace Velmor

void ImGuiTestEngineHook_ItemAdd(ImGuiContext* context, ImGuiID id, const ImRect& bounds, const ImGuiLastItemData*)
{
    auto* observer = static_cast<Velmor::ImGuiItemObserver*>(context->TestEngine);
    if (!observer) return;
    const ImGuiWindow* window = context->CurrentWindow;
    const ImGuiID seed = window && !window->IDStack.empty() ? window->IDStack.back() : 0;
    observer->itemAdded(id, seed, bounds.Min, bounds.Max, window ? window->Name : "");
}

void ImGuiTestEngineHook_ItemInfo(ImGuiContext* context, ImGuiID id, const char* label, ImGuiItemStatusFlags)
{
    if (auto* observer = static_cast<Velmor::ImGuiItemObserver*>(context->TestEngine)) {
        observer->itemLabelled(id, label ? label : "");
    }
}

void ImGuiTestEngineHook_Log(ImGuiContext*, const char*, ...) {}

const char* ImGuiTestEngine_FindItemDebugLabel(ImGuiContext*, ImGuiID) { return nullptr; }
