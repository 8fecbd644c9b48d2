// The workspace style of each theme, in a Dear ImGui context without any
// back-end.
#include "session/client_state.h"
#include "ui/theme.h"

#include <gtest/gtest.h>
#include <imgui.h>

namespace {

void expectColor(const ImVec4& actual, float r, float g, float b, float a)
{
    EXPECT_FLOAT_EQ(actual.x, r);
    EXPECT_FLOAT_EQ(actual.y, g);
    EXPECT_FLOAT_EQ(actual.z, b);
    EXPECT_FLOAT_EQ(actual.w, a);
}

bool sameColor(const ImVec4& a, const ImVec4& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z && a.w == b.w;
}

class ImGuiThemeTest : public ::testing::Test {
protected:
    void SetUp() override { ImGui::CreateContext(); }
    void TearDown() override
    {
        ImGui::DestroyContext();
        Velmor::clientState().uiTheme = 0;
    }
};

TEST(ImGuiThemeWithoutContext, DoesNothing)
{
    ASSERT_EQ(ImGui::GetCurrentContext(), nullptr);
    const bool capturedBefore = Velmor::baseStyleCaptured();
    Velmor::applyImGuiTheme();
    EXPECT_EQ(Velmor::baseStyleCaptured(), capturedBefore);
}

TEST_F(ImGuiThemeTest, SizesAreTheSameInEveryTheme)
{
    for (const int theme : {0, 1, 2}) {
        SCOPED_TRACE(theme);
        Velmor::clientState().uiTheme = theme;
        ImGui::GetStyle().WindowPadding = ImVec2(1, 1);
        ImGui::GetStyle().ScrollbarSize = 99;
        Velmor::applyImGuiTheme();
        const ImGuiStyle& style = ImGui::GetStyle();
        EXPECT_EQ(style.WindowPadding.x, 15);
        EXPECT_EQ(style.WindowPadding.y, 14);
        EXPECT_EQ(style.WindowRounding, 12);
        EXPECT_EQ(style.WindowBorderSize, 0);
        EXPECT_EQ(style.ChildRounding, 11);
        EXPECT_EQ(style.ChildBorderSize, 1);
        EXPECT_EQ(style.PopupRounding, 9);
        EXPECT_EQ(style.PopupBorderSize, 1);
        EXPECT_EQ(style.FramePadding.x, 11);
        EXPECT_EQ(style.FramePadding.y, 8);
        EXPECT_EQ(style.FrameRounding, 7);
        EXPECT_EQ(style.FrameBorderSize, 0);
        EXPECT_EQ(style.ItemSpacing.x, 9);
        EXPECT_EQ(style.ItemSpacing.y, 9);
        EXPECT_EQ(style.ItemInnerSpacing.x, 7);
        EXPECT_EQ(style.ItemInnerSpacing.y, 6);
        EXPECT_EQ(style.ScrollbarSize, 13);
        EXPECT_EQ(style.ScrollbarRounding, 9);
        EXPECT_EQ(style.GrabRounding, 6);
        EXPECT_EQ(style.TabRounding, 7);
        // A size the themes do not set is the toolkit's default again.
        EXPECT_EQ(style.IndentSpacing, ImGuiStyle().IndentSpacing);
    }
}

TEST_F(ImGuiThemeTest, ColoursOfEachTheme)
{
    Velmor::clientState().uiTheme = 0;
    Velmor::applyImGuiTheme();
    const ImVec4* colors = ImGui::GetStyle().Colors;
    expectColor(colors[ImGuiCol_Text], 0.91f, 0.94f, 0.98f, 1);
    expectColor(colors[ImGuiCol_WindowBg], 0.045f, 0.06f, 0.082f, 1);
    expectColor(colors[ImGuiCol_ChildBg], 0.075f, 0.095f, 0.125f, 1);
    expectColor(colors[ImGuiCol_PopupBg], 0.07f, 0.09f, 0.13f, 0.98f);
    expectColor(colors[ImGuiCol_HeaderActive], 0.20f, 0.31f, 0.43f, 1);
    expectColor(colors[ImGuiCol_NavCursor], 0.32f, 0.69f, 0.98f, 1);
    const ImVec4 graphiteButton = colors[ImGuiCol_Button];

    Velmor::clientState().uiTheme = 1;
    Velmor::applyImGuiTheme();
    expectColor(colors[ImGuiCol_WindowBg], 0.035f, 0.055f, 0.09f, 1);
    expectColor(colors[ImGuiCol_ChildBg], 0.06f, 0.085f, 0.135f, 1);
    expectColor(colors[ImGuiCol_Text], 0.91f, 0.94f, 0.98f, 1);
    EXPECT_TRUE(sameColor(colors[ImGuiCol_Button], graphiteButton));

    Velmor::clientState().uiTheme = 2;
    Velmor::applyImGuiTheme();
    expectColor(colors[ImGuiCol_Text], 0.12f, 0.16f, 0.22f, 1);
    expectColor(colors[ImGuiCol_WindowBg], 0.925f, 0.945f, 0.968f, 1);
    expectColor(colors[ImGuiCol_Border], 0.79f, 0.83f, 0.88f, 0.85f);
    expectColor(colors[ImGuiCol_ButtonActive], 0.70f, 0.83f, 0.97f, 1);
    expectColor(colors[ImGuiCol_CheckMark], 0.33f, 0.72f, 1.0f, 1);

    // An unknown theme is Graphite Dark.
    Velmor::clientState().uiTheme = 7;
    Velmor::applyImGuiTheme();
    expectColor(colors[ImGuiCol_WindowBg], 0.045f, 0.06f, 0.082f, 1);
}

TEST_F(ImGuiThemeTest, UnlistedColoursKeepTheDarkDefaultsEvenInTheLightTheme)
{
    const ImGuiStyle defaults;
    ImGui::GetStyle().Colors[ImGuiCol_PlotLines] = ImVec4(1, 0, 0, 1);
    Velmor::clientState().uiTheme = 2;
    Velmor::applyImGuiTheme();
    const ImVec4* colors = ImGui::GetStyle().Colors;
    for (const ImGuiCol id : {ImGuiCol_PlotLines, ImGuiCol_TitleBg, ImGuiCol_ScrollbarBg, ImGuiCol_Tab,
                              ImGuiCol_TableHeaderBg, ImGuiCol_ModalWindowDimBg}) {
        SCOPED_TRACE(ImGui::GetStyleColorName(id));
        EXPECT_TRUE(sameColor(colors[id], defaults.Colors[id]));
    }
}

TEST_F(ImGuiThemeTest, BaseStyleIsAnUnscaledCopyOfTheAppliedStyle)
{
    Velmor::clientState().uiTheme = 1;
    Velmor::applyImGuiTheme();
    ASSERT_TRUE(Velmor::baseStyleCaptured());
    // A frame scales the live style; the base style stays as applied.
    ImGui::GetStyle().ScaleAllSizes(2.0f);
    EXPECT_EQ(ImGui::GetStyle().WindowRounding, 24);
    EXPECT_EQ(Velmor::baseStyle().WindowRounding, 12);
    EXPECT_EQ(Velmor::baseStyle().ItemSpacing.x, 9);
    expectColor(Velmor::baseStyle().Colors[ImGuiCol_WindowBg], 0.035f, 0.055f, 0.09f, 1);

    Velmor::clientState().uiTheme = 2;
    Velmor::applyImGuiTheme();
    EXPECT_EQ(ImGui::GetStyle().WindowRounding, 12) << "the theme starts again from the default style";
    expectColor(Velmor::baseStyle().Colors[ImGuiCol_WindowBg], 0.925f, 0.945f, 0.968f, 1);
}

}  // namespace
