// The workspace style of each theme, in a Dear ImGui context without a back-end.
#include "session/client_state.h"
#include "ui/theme.h"

#include <gtest/gtest.h>
#include <imgui.h>

namespace {

bool same(const ImVec4& a, const ImVec4& b) { return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w; }

class ImGuiThemeTest : public ::testing::Test {
protected:
    void SetUp() override { ImGui::CreateContext(); }
    void TearDown() override
    {
        ImGui::DestroyContext();
        Velmor::clientState().uiTheme = 0;
    }
    static const ImVec4& color(ImGuiCol id) { return ImGui::GetStyle().Colors[id]; }
    static void apply(int theme)
    {
        Velmor::clientState().uiTheme = theme;
        Velmor::applyImGuiTheme();
    }
};

TEST_F(ImGuiThemeTest, SizesStartFromTheDefaultsInEveryTheme)
{
    for (const int theme : {0, 1, 2}) {
        ImGuiStyle& style = ImGui::GetStyle();
        style.IndentSpacing = 99;  // left over from an earlier theme or frame
        apply(theme);
        const float expected[][2] = {
            {style.WindowPadding.x, 15}, {style.WindowPadding.y, 14}, {style.WindowRounding, 12},
            {style.WindowBorderSize, 0}, {style.ChildRounding, 11},   {style.ChildBorderSize, 1},
            {style.PopupRounding, 9},    {style.PopupBorderSize, 1},  {style.FramePadding.x, 11},
            {style.FramePadding.y, 8},   {style.FrameRounding, 7},    {style.FrameBorderSize, 0},
            {style.ItemSpacing.x, 9},    {style.ItemSpacing.y, 9},    {style.ItemInnerSpacing.x, 7},
            {style.ItemInnerSpacing.y, 6}, {style.ScrollbarSize, 13}, {style.ScrollbarRounding, 9},
            {style.GrabRounding, 6},     {style.TabRounding, 7},      {style.IndentSpacing, ImGuiStyle().IndentSpacing},
        };
        for (const auto& [actual, wanted] : expected) EXPECT_EQ(actual, wanted) << "theme " << theme;
    }
}

TEST_F(ImGuiThemeTest, ColoursOfEachThemeAndTheDarkDefaultsForTheRest)
{
    apply(0);
    EXPECT_TRUE(same(color(ImGuiCol_WindowBg), {0.045f, 0.06f, 0.082f, 1}));
    EXPECT_TRUE(same(color(ImGuiCol_PopupBg), {0.07f, 0.09f, 0.13f, 0.98f}));
    EXPECT_TRUE(same(color(ImGuiCol_HeaderActive), {0.20f, 0.31f, 0.43f, 1}));
    const ImVec4 graphiteButton = color(ImGuiCol_Button);

    apply(1);  // Graphite Dark with its own window and child backgrounds
    EXPECT_TRUE(same(color(ImGuiCol_WindowBg), {0.035f, 0.055f, 0.09f, 1}));
    EXPECT_TRUE(same(color(ImGuiCol_ChildBg), {0.06f, 0.085f, 0.135f, 1}));
    EXPECT_TRUE(same(color(ImGuiCol_Text), {0.91f, 0.94f, 0.98f, 1}));
    EXPECT_TRUE(same(color(ImGuiCol_Button), graphiteButton));

    ImGui::GetStyle().Colors[ImGuiCol_PlotLines] = ImVec4(1, 0, 0, 1);
    apply(2);
    EXPECT_TRUE(same(color(ImGuiCol_Text), {0.12f, 0.16f, 0.22f, 1}));
    EXPECT_TRUE(same(color(ImGuiCol_Border), {0.79f, 0.83f, 0.88f, 0.85f}));
    EXPECT_TRUE(same(color(ImGuiCol_CheckMark), {0.33f, 0.72f, 1.0f, 1}));
    const ImGuiStyle defaults;
    for (const ImGuiCol id : {ImGuiCol_PlotLines, ImGuiCol_TitleBg, ImGuiCol_Tab, ImGuiCol_TableHeaderBg}) {
        EXPECT_TRUE(same(color(id), defaults.Colors[id])) << ImGui::GetStyleColorName(id);
    }

    apply(7);
    EXPECT_TRUE(same(color(ImGuiCol_WindowBg), {0.045f, 0.06f, 0.082f, 1}));
}

TEST_F(ImGuiThemeTest, BaseStyleIsAnUnscaledCopy)
{
    apply(1);
    ASSERT_TRUE(Velmor::baseStyleCaptured());
    ImGui::GetStyle().ScaleAllSizes(2.0f);  // what a frame does to the live style
    EXPECT_EQ(Velmor::baseStyle().WindowRounding, 12);
    EXPECT_TRUE(same(Velmor::baseStyle().Colors[ImGuiCol_WindowBg], {0.035f, 0.055f, 0.09f, 1}));
}

}  // namespace
