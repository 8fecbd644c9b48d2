// Where Dear ImGui put each labelled item in the last whole frame, and the
// text it drew (the toolkit's own text log, which also draws the rows a list
// would clip), for tests that find widgets by their labels.
#pragma once

#include "ui/imgui_item_hooks.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <string>
#include <vector>

namespace VelmorTest {

class ItemMap : public Velmor::ImGuiItemObserver {
public:
    // With `logText`, what each frame drew is kept for shows(); the toolkit
    // then draws every row of a clipped list, so tests of clipping go without.
    ItemMap() = default;
    explicit ItemMap(bool logText) : logText_(logText) {}

    struct Item {
        ImGuiID id = 0;
        ImGuiID seed = 0;
        ImVec2 min, max;
        std::string window;
        std::string label;
    };

    // Observes the current context from its next frame on.
    void attach()
    {
        Velmor::attachItemObserver(this);
        const struct {
            ImGuiContextHookType type;
            ImGuiContextHookCallback callback;
        } hooks[] = {{ImGuiContextHookType_NewFramePre, &frameStartsHook},
                     {ImGuiContextHookType_NewFramePost, &startTextLog},
                     {ImGuiContextHookType_EndFramePre, &endTextLog}};
        for (const auto& entry : hooks) {
            if (!logText_ && entry.type != ImGuiContextHookType_NewFramePre) continue;
            ImGuiContextHook hook;
            hook.Type = entry.type;
            hook.Callback = entry.callback;
            hook.UserData = this;
            hookIds_.push_back(ImGui::AddContextHook(ImGui::GetCurrentContext(), &hook));
        }
    }
    void detach()
    {
        Velmor::attachItemObserver(nullptr);
        for (const ImGuiID id : hookIds_) ImGui::RemoveContextHook(ImGui::GetCurrentContext(), id);
        hookIds_.clear();
    }

    void itemAdded(ImGuiID id, ImGuiID seed, ImVec2 min, ImVec2 max, const char* window) override
    {
        building_.push_back({id, seed, min, max, window, {}});
    }
    void itemLabelled(ImGuiID id, const char* label) override
    {
        if (!building_.empty() && building_.back().id == id) building_.back().label = label;
    }

    // The item with exactly this label whose window name contains `window`;
    // an item that reported no label (a combo box) is matched by the id its
    // label gives.
    const Item* find(const std::string& label, const std::string& window = {}) const
    {
        for (const Item& item : shown_) {
            if (item.window.find(window) == std::string::npos) continue;
            if (item.label == label || (item.label.empty() && item.id == ImHashStr(label.c_str(), 0, item.seed))) {
                return &item;
            }
        }
        return nullptr;
    }
    const std::vector<Item>& items() const { return shown_; }
    bool shows(const std::string& text) const { return text_.find(text) != std::string::npos; }
    std::string labels() const
    {
        std::string all;
        for (const Item& item : shown_) {
            if (!item.label.empty()) all += "[" + item.label + "] ";
        }
        return all.substr(0, 2000);
    }

private:
    static void frameStartsHook(ImGuiContext*, ImGuiContextHook* hook)
    {
        auto& map = *static_cast<ItemMap*>(hook->UserData);
        map.shown_.swap(map.building_);
        map.building_.clear();
    }
    static void startTextLog(ImGuiContext*, ImGuiContextHook*) { ImGui::LogToBuffer(); }
    static void endTextLog(ImGuiContext* context, ImGuiContextHook* hook)
    {
        static_cast<ItemMap*>(hook->UserData)->text_ = context->LogBuffer.c_str();
        ImGui::LogFinish();
    }

    std::vector<Item> building_;
    std::vector<Item> shown_;
    std::string text_;
    std::vector<ImGuiID> hookIds_;
    bool logText_ = true;
};

}  // namespace VelmorTest
