#include "support/imgui_probe.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <cstdarg>
#include <map>

namespace {

// The items seen in the frame being drawn, by id; labels arrive separately.
struct FrameRecord {
    std::vector<ImGuiID> order;
    std::map<ImGuiID, VelmorTest::ProbedItem> byId;
};
FrameRecord gFrame;

}  // namespace

void ImGuiTestEngineHook_ItemAdd(ImGuiContext*, ImGuiID id, const ImRect& bb, const ImGuiLastItemData* item)
{
    if (id == 0) return;
    auto [entry, added] = gFrame.byId.try_emplace(id);
    if (added) gFrame.order.push_back(id);
    entry->second.left = bb.Min.x;
    entry->second.top = bb.Min.y;
    entry->second.right = bb.Max.x;
    entry->second.bottom = bb.Max.y;
    entry->second.disabled = item && (item->ItemFlags & ImGuiItemFlags_Disabled) != 0;
}

void ImGuiTestEngineHook_ItemInfo(ImGuiContext*, ImGuiID id, const char* label, ImGuiItemStatusFlags)
{
    const auto entry = gFrame.byId.find(id);
    if (entry != gFrame.byId.end() && label) entry->second.label = label;
}

void ImGuiTestEngineHook_Log(ImGuiContext*, const char*, ...) {}

const char* ImGuiTestEngine_FindItemDebugLabel(ImGuiContext*, ImGuiID) { return nullptr; }

namespace VelmorTest {

ImGuiProbe::ImGuiProbe(float width, float height)
{
    ImGui::CreateContext();
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    io.BackendFlags |= ImGuiBackendFlags_RendererHasTextures;
    io.DisplaySize = ImVec2(width, height);
    io.DeltaTime = 1.0f / 60.0f;
    GImGui->TestEngineHookItems = true;
}

ImGuiProbe::~ImGuiProbe() { ImGui::DestroyContext(); }

const ProbedItem* ImGuiProbe::find(const std::string& label) const
{
    for (const ProbedItem& item : items_) {
        if (item.label == label) return &item;
    }
    return nullptr;
}

void ImGuiProbe::beginFrame(float windowWidth)
{
    gFrame = {};
    ImGui::NewFrame();
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImVec2(windowWidth, ImGui::GetIO().DisplaySize.y));
    ImGui::Begin("probe", nullptr, ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoSavedSettings);
}

void ImGuiProbe::endFrame()
{
    ImGui::End();
    ImGui::Render();
    items_.clear();
    for (const ImGuiID id : gFrame.order) {
        // Windows report themselves too; only the items inside them count.
        if (gFrame.byId[id].label.empty() || ImGui::FindWindowByID(id)) continue;
        items_.push_back(gFrame.byId[id]);
    }
}

void ImGuiProbe::mouseMove(float x, float y) { ImGui::GetIO().AddMousePosEvent(x, y); }

void ImGuiProbe::mouseButton(int button, bool down) { ImGui::GetIO().AddMouseButtonEvent(button, down); }

}  // namespace VelmorTest
