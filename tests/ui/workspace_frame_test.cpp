// The workspace frame: its width classes and the sizes that follow from
// them, the header's decisions, and the header and rail themselves, drawn in
// a Dear ImGui context without a back-end (no GPU) and driven by input events.
#include "ui/workspace_frame.h"

#include "session/client_state.h"
#include "support/test_window.h"
#include "ui/control_ids.h"
#include "ui/workspace_pages.h"
#include "ui/workspace_state.h"

#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <string>
#include <string_view>
#include <vector>

using namespace Velmor;

namespace {

std::string faces(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i) text += "\xF0\x9F\x98\x80";  // two UTF-16 code units each
    return text;
}

TEST(FrameLayout, HeaderClassesFollowTheClientWidth)
{
    const FrameLayout wide = frameLayout(1480, 1452, 1.0f);
    EXPECT_FALSE(wide.compactHeader);
    EXPECT_FALSE(wide.lowHeader);
    EXPECT_FLOAT_EQ(wide.headerHeight, 67);

    const FrameLayout thousand = frameLayout(1000, 972, 1.0f);
    EXPECT_TRUE(thousand.compactHeader);
    EXPECT_FALSE(thousand.lowHeader);
    EXPECT_FLOAT_EQ(thousand.headerHeight, 67);

    const FrameLayout eightHundred = frameLayout(800, 772, 1.0f);
    EXPECT_TRUE(eightHundred.compactHeader);
    EXPECT_TRUE(eightHundred.lowHeader);
    EXPECT_FLOAT_EQ(eightHundred.headerHeight, 58);

    EXPECT_TRUE(frameLayout(1039.9f, 0, 1.0f).compactHeader);
    EXPECT_FALSE(frameLayout(1040, 0, 1.0f).compactHeader);
    EXPECT_TRUE(frameLayout(819, 0, 1.0f).lowHeader);
    EXPECT_FALSE(frameLayout(820, 0, 1.0f).lowHeader);
}

TEST(FrameLayout, RailClassesFollowTheAvailableWidth)
{
    const FrameLayout medium = frameLayout(800, 772, 1.0f);
    EXPECT_TRUE(medium.mediumRail);
    EXPECT_FALSE(medium.narrowRail);
    EXPECT_FLOAT_EQ(medium.railWidth, 122);
    EXPECT_FLOAT_EQ(medium.navButtonHeight, 35);

    const FrameLayout narrow = frameLayout(700, 719, 1.0f);
    EXPECT_TRUE(narrow.narrowRail);
    EXPECT_FLOAT_EQ(narrow.railWidth, 88);
    EXPECT_FLOAT_EQ(narrow.navButtonHeight, 35);

    EXPECT_FLOAT_EQ(frameLayout(1480, 850, 1.0f).railWidth, 165);    // 144.5 raised to the minimum
    EXPECT_FLOAT_EQ(frameLayout(1480, 1000, 1.0f).railWidth, 170);   // 17 %
    EXPECT_FLOAT_EQ(frameLayout(2560, 2000, 1.0f).railWidth, 205);   // capped
    EXPECT_FLOAT_EQ(frameLayout(1480, 1452, 1.0f).navButtonHeight, 41);
}

TEST(FrameLayout, EverySizeScalesWithTheInterface)
{
    // At 200 % a 1480-pixel client is a compact, low header over a medium rail.
    const FrameLayout doubled = frameLayout(1480, 1452, 2.0f);
    EXPECT_TRUE(doubled.compactHeader);
    EXPECT_TRUE(doubled.lowHeader);
    EXPECT_TRUE(doubled.mediumRail);
    EXPECT_FALSE(doubled.narrowRail);
    EXPECT_FLOAT_EQ(doubled.headerHeight, 116);
    EXPECT_FLOAT_EQ(doubled.railWidth, 244);
    EXPECT_FLOAT_EQ(doubled.navButtonHeight, 70);
    EXPECT_FLOAT_EQ(frameLayout(1480, 1439, 2.0f).railWidth, 176);
    EXPECT_FLOAT_EQ(frameLayout(3000, 2000, 2.0f).railWidth, 340);
}

TEST(FrameLayout, IdentityBoxWidth)
{
    EXPECT_FLOAT_EQ(identityBoxWidth(1000, false, 1.0f), 185);  // 220 capped
    EXPECT_FLOAT_EQ(identityBoxWidth(600, false, 1.0f), 132);
    EXPECT_FLOAT_EQ(identityBoxWidth(400, false, 1.0f), 112);   // 88 raised
    EXPECT_FLOAT_EQ(identityBoxWidth(1000, true, 1.0f), 155);   // 200 capped
    EXPECT_FLOAT_EQ(identityBoxWidth(700, true, 1.0f), 140);
    EXPECT_FLOAT_EQ(identityBoxWidth(500, true, 1.0f), 112);
    EXPECT_FLOAT_EQ(identityBoxWidth(1000, true, 2.0f), 224);
}

TEST(FrameLayout, NavigationLabelsByWidthClass)
{
    EXPECT_EQ(std::string(navigationLabel(0, false, false)), "01   Room chat");
    EXPECT_EQ(std::string(navigationLabel(6, false, false)), "07   Diagnostics");
    EXPECT_EQ(std::string(navigationLabel(1, true, false)), "People");
    EXPECT_EQ(std::string(navigationLabel(1, true, true)), "Users");
    EXPECT_EQ(std::string(navigationLabel(5, true, true)), "Setup");
    EXPECT_EQ(std::string(navigationLabel(6, true, false)), "Logs");
    EXPECT_EQ(std::string(navigationLabel(9, false, false)), "");
}

}  // namespace

namespace {

TEST(HeaderDecisions, TheIdentityCanBeAppliedWithOneToSixtyFourCodeUnits)
{
    EXPECT_FALSE(identityApplicable(""));
    EXPECT_FALSE(identityApplicable("   \t "));
    EXPECT_TRUE(identityApplicable("a"));
    EXPECT_TRUE(identityApplicable("  " + std::string(64, 'x') + "  "));
    EXPECT_FALSE(identityApplicable(std::string(65, 'x')));
    EXPECT_TRUE(identityApplicable(faces(32)));   // 64 code units
    EXPECT_FALSE(identityApplicable(faces(33)));  // 66
    EXPECT_FALSE(identityApplicable(faces(64)));  // 64 characters, 128 code units
}

TEST(HeaderDecisions, ButtonLabelAndThresholds)
{
    EXPECT_STREQ(connectButtonLabel(false, false), "Connect");
    EXPECT_STREQ(connectButtonLabel(false, true), "Connect");
    EXPECT_STREQ(connectButtonLabel(true, false), "Update identity");
    EXPECT_STREQ(connectButtonLabel(true, true), "Update");

    EXPECT_FALSE(showsStudioMark(600, 1.0f));
    EXPECT_TRUE(showsStudioMark(600.5f, 1.0f));
    EXPECT_FALSE(showsStudioMark(1200, 2.0f));
    EXPECT_TRUE(showsStudioMark(1201, 2.0f));

    EXPECT_FALSE(showsConnectionBadge(110, true, 1.0f));
    EXPECT_TRUE(showsConnectionBadge(111, true, 1.0f));
    EXPECT_FALSE(showsConnectionBadge(210, false, 1.0f));
    EXPECT_TRUE(showsConnectionBadge(211, false, 1.0f));
    EXPECT_FALSE(showsConnectionBadge(420, false, 2.0f));
    EXPECT_TRUE(showsConnectionBadge(421, false, 2.0f));
}

// What the header handed to the identity command, one entry per call.
std::vector<std::string> gApplied;
void recordApply() { gApplied.push_back(workspaceState().identityInput); }

class DrawnWorkspace : public ::testing::Test {
protected:
    void SetUp() override
    {
        ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.ConfigFlags |= ImGuiConfigFlags_NavEnableKeyboard;
        io.BackendFlags |= ImGuiBackendFlags_RendererHasTextures;  // no renderer: the atlas needs no upload
        gApplied.clear();
        WorkspaceState& workspace = workspaceState();
        workspace.identityInput.clear();
        workspace.identityFocusRequest = false;
        workspace.lastAppliedTheme = -1;
        clientState().connected = false;
        clientState().activePage = pageRoomChat;
    }
    void TearDown() override { ImGui::DestroyContext(); }

    void frames(int count, float width = 1480, float height = 940, float scale = 1.0f)
    {
        for (int i = 0; i < count; ++i) {
            ImGuiIO& io = ImGui::GetIO();
            io.DisplaySize = ImVec2(width, height);
            io.DeltaTime = 1.0f / 60.0f;
            applyFrameStyle(scale);
            ImGui::NewFrame();
            drawWorkspace(window.handle(), width, height, scale, &recordApply);
            ImGui::Render();
        }
    }

    // Gives the identity box the keyboard focus the way a refused name does.
    void focusIdentityBox()
    {
        workspaceState().identityFocusRequest = true;
        frames(3);
        ASSERT_TRUE(ImGui::GetIO().WantTextInput) << "the identity box did not take the focus";
    }

    void pressEnter()
    {
        ImGui::GetIO().AddKeyEvent(ImGuiKey_Enter, true);
        frames(1);
        ImGui::GetIO().AddKeyEvent(ImGuiKey_Enter, false);
        frames(1);
    }

    static ImGuiWindow* childWindow(std::string_view name)
    {
        for (ImGuiWindow* candidate : ImGui::GetCurrentContext()->Windows) {
            if (std::string_view(candidate->Name).find(name) != std::string_view::npos) return candidate;
        }
        return nullptr;
    }

    VelmorTest::TestMainWindow window{{idUserNameBox, L"EDIT", ES_AUTOHSCROLL}, {idPageTitleLabel, L"STATIC", 0}};
};

TEST_F(DrawnWorkspace, EnterAppliesATypedNameAndPutsItIntoTheHiddenBox)
{
    focusIdentityBox();
    ImGui::GetIO().AddInputCharactersUTF8("  Zo\xC3\xAB ");
    frames(1);
    EXPECT_EQ(workspaceState().identityInput, "  Zo\xC3\xAB ");
    pressEnter();
    ASSERT_EQ(gApplied.size(), 1u);
    EXPECT_EQ(gApplied[0], "  Zo\xC3\xAB ");
    wchar_t box[80] = {};
    ::GetWindowTextW(window.child(idUserNameBox), box, 80);
    EXPECT_STREQ(box, L"Zo\u00EB");
}

TEST_F(DrawnWorkspace, EnterIsIgnoredForAnInvalidName)
{
    for (const std::string& invalid : {std::string(65, 'n'), std::string("    "), faces(64)}) {
        SCOPED_TRACE(invalid);
        workspaceState().identityInput = invalid;
        focusIdentityBox();
        pressEnter();
        EXPECT_TRUE(gApplied.empty());
        ImGui::SetWindowFocus(nullptr);  // let go of the box, so the next text is taken in
        frames(2);
    }
    workspaceState().identityInput = std::string(64, 'n');
    focusIdentityBox();
    pressEnter();
    EXPECT_EQ(gApplied.size(), 1u);  // the same steps apply a valid name
}

TEST_F(DrawnWorkspace, TheRailScrollsWhenItsButtonsDoNotFit)
{
    frames(3, 800, 600, 2.0f);
    ImGuiWindow* rail = childWindow("WorkspaceRail");
    ASSERT_NE(rail, nullptr);
    EXPECT_GT(rail->ScrollMax.y, 0.0f);
    EXPECT_TRUE(rail->ScrollbarY) << "the last page buttons could not be reached";

    frames(3, 1480, 940, 1.0f);
    rail = childWindow("WorkspaceRail");
    ASSERT_NE(rail, nullptr);
    EXPECT_FALSE(rail->ScrollbarY);  // a rail that fits has no scroll bar
}

TEST_F(DrawnWorkspace, TheHeaderHeightFollowsTheClientWidth)
{
    frames(2, 1480, 940, 1.0f);
    ImGuiWindow* header = childWindow("Header");
    ASSERT_NE(header, nullptr);
    EXPECT_FLOAT_EQ(header->Size.y, 67);
    frames(2, 800, 600, 1.0f);
    EXPECT_FLOAT_EQ(childWindow("Header")->Size.y, 58);
    frames(2, 1480, 940, 2.0f);
    EXPECT_FLOAT_EQ(childWindow("Header")->Size.y, 116);
}

}  // namespace
