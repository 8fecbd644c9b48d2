// The toolkit half of the themes: the Dear ImGui style of each theme and the
// unscaled base style that every frame scales for its DPI.
#include "session/client_state.h"
#include "ui/theme.h"

#include <imgui.h>

namespace Velmor {
namespace {

struct StyleState {
    ImGuiStyle base;
    bool captured = false;
};

StyleState& styleState()
{
    static StyleState state;
    return state;
}

// Colours that differ from the toolkit's dark defaults; Midnight Blue is
// Graphite Dark with its own window and child backgrounds.
struct ColorRow {
    ImGuiCol id;
    ImVec4 dark;
    ImVec4 light;
};

constexpr ColorRow kColorRows[] = {
    {ImGuiCol_Text, {0.91f, 0.94f, 0.98f, 1.0f}, {0.12f, 0.16f, 0.22f, 1.0f}},
    {ImGuiCol_TextDisabled, {0.52f, 0.59f, 0.68f, 1.0f}, {0.40f, 0.45f, 0.52f, 1.0f}},
    {ImGuiCol_WindowBg, {0.045f, 0.06f, 0.082f, 1.0f}, {0.925f, 0.945f, 0.968f, 1.0f}},
    {ImGuiCol_ChildBg, {0.075f, 0.095f, 0.125f, 1.0f}, {0.985f, 0.99f, 0.998f, 1.0f}},
    {ImGuiCol_PopupBg, {0.07f, 0.09f, 0.13f, 0.98f}, {0.985f, 0.99f, 0.998f, 1.0f}},
    {ImGuiCol_Border, {0.15f, 0.19f, 0.25f, 0.85f}, {0.79f, 0.83f, 0.88f, 0.85f}},
    {ImGuiCol_FrameBg, {0.105f, 0.135f, 0.18f, 1.0f}, {0.94f, 0.96f, 0.98f, 1.0f}},
    {ImGuiCol_FrameBgHovered, {0.14f, 0.19f, 0.25f, 1.0f}, {0.88f, 0.93f, 0.98f, 1.0f}},
    {ImGuiCol_FrameBgActive, {0.17f, 0.23f, 0.31f, 1.0f}, {0.83f, 0.90f, 0.98f, 1.0f}},
    {ImGuiCol_CheckMark, {0.33f, 0.72f, 1.0f, 1.0f}, {0.33f, 0.72f, 1.0f, 1.0f}},
    {ImGuiCol_SliderGrab, {0.29f, 0.65f, 0.96f, 1.0f}, {0.29f, 0.65f, 0.96f, 1.0f}},
    {ImGuiCol_SliderGrabActive, {0.42f, 0.78f, 1.0f, 1.0f}, {0.42f, 0.78f, 1.0f, 1.0f}},
    {ImGuiCol_Button, {0.11f, 0.15f, 0.21f, 1.0f}, {0.88f, 0.92f, 0.97f, 1.0f}},
    {ImGuiCol_ButtonHovered, {0.16f, 0.23f, 0.32f, 1.0f}, {0.79f, 0.88f, 0.98f, 1.0f}},
    {ImGuiCol_ButtonActive, {0.20f, 0.30f, 0.42f, 1.0f}, {0.70f, 0.83f, 0.97f, 1.0f}},
    {ImGuiCol_Header, {0.13f, 0.20f, 0.29f, 1.0f}, {0.82f, 0.90f, 0.98f, 1.0f}},
    {ImGuiCol_HeaderHovered, {0.17f, 0.26f, 0.37f, 1.0f}, {0.76f, 0.87f, 0.98f, 1.0f}},
    {ImGuiCol_HeaderActive, {0.20f, 0.31f, 0.43f, 1.0f}, {0.69f, 0.83f, 0.97f, 1.0f}},
    {ImGuiCol_Separator, {0.15f, 0.19f, 0.25f, 1.0f}, {0.81f, 0.85f, 0.90f, 1.0f}},
    {ImGuiCol_NavCursor, {0.32f, 0.69f, 0.98f, 1.0f}, {0.32f, 0.69f, 0.98f, 1.0f}},
};

void applySizes(ImGuiStyle& style)
{
    style.WindowPadding = ImVec2(15, 14);
    style.WindowRounding = 12;
    style.WindowBorderSize = 0;
    style.ChildRounding = 11;
    style.ChildBorderSize = 1;
    style.PopupRounding = 9;
    style.PopupBorderSize = 1;
    style.FramePadding = ImVec2(11, 8);
    style.FrameRounding = 7;
    style.FrameBorderSize = 0;
    style.ItemSpacing = ImVec2(9, 9);
    style.ItemInnerSpacing = ImVec2(7, 6);
    style.ScrollbarSize = 13;
    style.ScrollbarRounding = 9;
    style.GrabRounding = 6;
    style.TabRounding = 7;
}

void applyColors(ImGuiStyle& style, int theme)
{
    for (const ColorRow& row : kColorRows) style.Colors[row.id] = theme == 2 ? row.light : row.dark;
    if (theme == 1) {
        style.Colors[ImGuiCol_WindowBg] = ImVec4(0.035f, 0.055f, 0.09f, 1.0f);
        style.Colors[ImGuiCol_ChildBg] = ImVec4(0.06f, 0.085f, 0.135f, 1.0f);
    }
}

}  // namespace

void applyImGuiTheme()
{
    if (!ImGui::GetCurrentContext()) return;
    ImGuiStyle& style = ImGui::GetStyle();
    style = ImGuiStyle();
    applySizes(style);
    applyColors(style, normalizedTheme(clientState().uiTheme));
    styleState().base = style;
    styleState().captured = true;
}

const ImGuiStyle& baseStyle()
{
    return styleState().base;
}

bool baseStyleCaptured()
{
    return styleState().captured;
}

}  // namespace Velmor
