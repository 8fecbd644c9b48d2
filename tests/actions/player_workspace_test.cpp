// The workspace's player pop-up and selected-player card, drawn headless:
// which buttons they offer for a player, how the card lays itself out, and
// that each button runs its action.
#include "actions/player_menu.h"

#include "dm/direct_messages.h"
#include "session/client_state.h"
#include "support/dm_fixture.h"
#include "support/imgui_probe.h"
#include "support/log_folder.h"
#include "ui/workspace_state.h"

#include <gtest/gtest.h>
#include <imgui.h>

using namespace Velmor;
using Lines = std::vector<std::wstring>;
using VelmorTest::RecordedPrompt;

namespace {

class PlayerWorkspaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        VelmorTest::registerConversationClasses();
        ClientState& state = clientState();
        state.setUsername("me");
        state.connected = false;
        state.friends.clear();
        state.blockedUsers.clear();
        workspaceState().selectedPlayer.clear();
        workspaceState().uiScale = 1.0f;
    }
    void TearDown() override { VelmorTest::closeConversationWindows(); }

    std::vector<std::string> labels() const
    {
        std::vector<std::string> result;
        for (const VelmorTest::ProbedItem& item : probe.items()) result.push_back(item.label);
        return result;
    }

    VelmorTest::SessionWindow window;
    VelmorTest::PromptRecorder prompts;
    VelmorTest::ImGuiProbe probe;
};

using Labels = std::vector<std::string>;

TEST_F(PlayerWorkspaceTest, TheCardOffersNothingWithoutASelectedPlayer)
{
    probe.frame([] { drawSelectedPlayerCard(false); });
    EXPECT_TRUE(probe.items().empty());
}

TEST_F(PlayerWorkspaceTest, TheCardFollowsTheListsAndThePage)
{
    workspaceState().selectedPlayer = L"amy";
    probe.frame([] { drawSelectedPlayerCard(false); });
    EXPECT_EQ(labels(), (Labels{"Message", "Add friend", "Block"}));
    probe.frame([] { drawSelectedPlayerCard(true); });  // the friends page lists only friends
    EXPECT_EQ(labels(), (Labels{"Message", "Remove friend", "Block"}));

    clientState().friends = {L"amy"};
    clientState().blockedUsers = {L"amy"};
    probe.frame([] { drawSelectedPlayerCard(false); });
    EXPECT_EQ(labels(), (Labels{"Message", "Remove friend", "Unblock"}));
}

TEST_F(PlayerWorkspaceTest, ANarrowCardPutsTheButtonsBelowTheName)
{
    workspaceState().selectedPlayer = L"amy";
    const auto card = [] { drawSelectedPlayerCard(false); };
    probe.frame(card, 600);
    const float wideTop = probe.find("Message")->top;
    probe.frame(card, 200);
    const float narrowTop = probe.find("Message")->top;
    EXPECT_GT(narrowTop, wideTop + 2 * ImGui::GetTextLineHeight());  // heading and name come first

    workspaceState().uiScale = 3.0f;  // 245 x 3 is wider than the window
    probe.frame(card, 600);
    EXPECT_FLOAT_EQ(probe.find("Message")->top, narrowTop);
}

TEST_F(PlayerWorkspaceTest, CardButtonsRunTheirActions)
{
    workspaceState().selectedPlayer = L"amy";
    const auto card = [] { drawSelectedPlayerCard(false); };
    probe.frame(card);
    ASSERT_TRUE(probe.click("Add friend", card));
    EXPECT_EQ(clientState().friends, NameList{L"amy"});
    ASSERT_TRUE(probe.click("Remove friend", card));
    EXPECT_TRUE(clientState().friends.empty());

    ASSERT_TRUE(probe.click("Block", card));
    EXPECT_EQ(window.takeTranscript(), (Lines{L"Added amy to your friends.", L"Removed amy from your friends.",
                                              L"Cannot change server block settings while offline."}));

    ASSERT_TRUE(probe.click("Message", card));
    EXPECT_NE(directMessageWindowOf(L"amy"), nullptr);

    clientState().blockedUsers = {L"amy"};
    probe.frame(card);
    ASSERT_TRUE(probe.click("Message", card));  // the command still refuses a blocked player
    EXPECT_EQ(prompts.count(RecordedPrompt::messageBox), 1u);
}

// A player row with its pop-up, as the people pages draw it.
void playerRow(const std::wstring& name)
{
    ImGui::Selectable("row");
    drawPlayerActionsPopup(name);
}

TEST_F(PlayerWorkspaceTest, ThePopupOpensOnARightClickAndOffersThePlayersActions)
{
    const auto row = [] { playerRow(L"amy"); };
    probe.frame(row);
    EXPECT_EQ(labels(), Labels{"row"});  // closed: nothing drawn

    ASSERT_TRUE(probe.click("row", row, 1));
    EXPECT_EQ(labels(), (Labels{"row", "Message privately", "Add to friends", "Block on server"}));
    EXPECT_FALSE(probe.find("Message privately")->disabled);

    ASSERT_TRUE(probe.click("Add to friends", row));
    EXPECT_EQ(clientState().friends, NameList{L"amy"});
    EXPECT_FALSE(probe.has("Block on server"));  // choosing closed the pop-up

    clientState().blockedUsers = {L"amy"};
    ASSERT_TRUE(probe.click("row", row, 1));
    EXPECT_EQ(labels(), (Labels{"row", "Message privately", "Remove from friends", "Unblock on server"}));
    EXPECT_TRUE(probe.find("Message privately")->disabled);
    ASSERT_TRUE(probe.click("Message privately", row));
    EXPECT_TRUE(prompts.prompts().empty());  // disabled: not even the refusal box
    EXPECT_EQ(directMessageWindowOf(L"amy"), nullptr);

    ASSERT_TRUE(probe.click("Remove from friends", row));
    EXPECT_TRUE(clientState().friends.empty());
}

}  // namespace
