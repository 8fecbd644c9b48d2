// Friends and server-block commands without a server: local friends work
// offline; block changes are refused or confirmed before anything is sent.
#include "actions/friends.h"

#include "session/client_state.h"
#include "support/main_window_fixture.h"
#include "support/prompt_recorder.h"
#include "support/registry.h"
#include "support/log_folder.h"
#include "ui/control_ids.h"

#include <gtest/gtest.h>

using namespace Velmor;
using Lines = std::vector<std::wstring>;
using VelmorTest::RecordedPrompt;

namespace {

bool friendsStored()
{
    DWORD type = 0;
    std::vector<unsigned char> data;
    return VelmorTest::readRawValue(L"Friends", type, data);
}

class FriendsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        VelmorTest::deleteSettingsKey();
        ClientState& state = clientState();
        state.friends.clear();
        state.blockedUsers.clear();
        state.pendingModeration.clear();
        state.connected = false;
        state.setUsername("me");
    }
    void TearDown() override { VelmorTest::deleteSettingsKey(); }

    VelmorTest::SessionWindow window;
    VelmorTest::PromptRecorder prompts;
};

TEST_F(FriendsTest, AddingAndRemovingFriendsIsLocalAndStored)
{
    addFriend(L"amy");
    addFriend(L"Amy");  // letter case makes another name
    EXPECT_EQ(clientState().friends, (NameList{L"amy", L"Amy"}));
    EXPECT_EQ(window.listBox(idFriendsList), L"amy,Amy");
    EXPECT_TRUE(friendsStored());
    EXPECT_EQ(window.takeTranscript(), (Lines{L"Added amy to your friends.", L"Added Amy to your friends."}));

    VelmorTest::deleteSettingsKey();
    addFriend(L"amy");
    EXPECT_EQ(window.takeTranscript(), Lines{L"amy is already on your friends list."});
    EXPECT_FALSE(friendsStored());  // nothing changed, nothing written

    addFriend(L"me");
    addFriend(L"");
    removeFriend(L"nobody");
    EXPECT_TRUE(window.takeTranscript().empty());
    EXPECT_FALSE(friendsStored());

    removeFriend(L"amy");
    EXPECT_EQ(clientState().friends, NameList{L"Amy"});
    EXPECT_EQ(window.takeTranscript(), Lines{L"Removed amy from your friends."});
    EXPECT_TRUE(friendsStored());
}

TEST_F(FriendsTest, SelectedNameCommandsNeedASelection)
{
    addSelectedOnlineUserAsFriend();
    removeSelectedFriend();
    ASSERT_EQ(prompts.prompts().size(), 2u);
    EXPECT_EQ(prompts.prompts()[0].text, L"Select a player from the online list first.");
    EXPECT_EQ(prompts.prompts()[1].text, L"Select a friend from the list first.");
    EXPECT_EQ(prompts.prompts()[1].caption, L"Friends");

    ::SendMessageW(window.child(idOnlineUsersList), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"zed"));
    ::SendMessageW(window.child(idOnlineUsersList), LB_SETCURSEL, 0, 0);
    addSelectedOnlineUserAsFriend();
    EXPECT_EQ(clientState().friends, NameList{L"zed"});
}

TEST_F(FriendsTest, BlockChangesAreRefusedOfflineAndNeedAYes)
{
    toggleServerBlock(L"troll");
    EXPECT_EQ(window.takeTranscript(), Lines{L"Cannot change server block settings while offline."});
    EXPECT_TRUE(prompts.prompts().empty());

    clientState().connected = true;  // no connection behind it: sends fail
    prompts.queueAnswer(IDNO);
    toggleServerBlock(L"troll");
    ASSERT_EQ(prompts.prompts().size(), 1u);
    EXPECT_EQ(prompts.prompts()[0].caption, L"Server block");
    EXPECT_EQ(prompts.prompts()[0].type, static_cast<UINT>(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
    EXPECT_NE(prompts.prompts()[0].text.find(L"Block troll on the server?"), std::wstring::npos);
    EXPECT_TRUE(window.takeTranscript().empty());
    EXPECT_TRUE(clientState().pendingModeration.empty());

    prompts.queueAnswer(IDYES);
    toggleServerBlock(L"troll");
    EXPECT_EQ(window.takeTranscript(), Lines{L"Could not send the server block request."});
    EXPECT_TRUE(clientState().pendingModeration.empty());  // a failed send starts nothing

    clientState().blockedUsers = {L"troll"};
    prompts.queueAnswer(IDYES);
    toggleServerBlock(L"troll");
    EXPECT_EQ(prompts.prompts().back().type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
    EXPECT_NE(prompts.prompts().back().text.find(L"Unblock troll on the server?"), std::wstring::npos);
    EXPECT_EQ(window.takeTranscript(), Lines{L"Could not send the server unblock request."});

    const std::size_t asked = prompts.prompts().size();
    toggleServerBlock(L"me");  // never oneself
    EXPECT_EQ(prompts.prompts().size(), asked);
}

TEST_F(FriendsTest, BlockedUsersMenuOffersTheFirst500)
{
    showBlockedUsersMenu();
    ASSERT_EQ(prompts.prompts().size(), 1u);
    EXPECT_EQ(prompts.prompts()[0].text, L"No blocked users returned by the server yet.");
    EXPECT_EQ(prompts.prompts()[0].caption, L"Blocked users");

    for (int i = 0; i < 600; ++i) clientState().blockedUsers.push_back(L"b" + std::to_wstring(i));
    prompts.queueMenuChoice(idUnblockMenuBase + 499);
    showBlockedUsersMenu();
    ASSERT_GE(prompts.prompts().size(), 3u);
    const RecordedPrompt& menu = prompts.prompts()[1];
    ASSERT_EQ(menu.kind, RecordedPrompt::popupMenu);
    std::size_t items = 0;
    for (const wchar_t c : menu.text) items += c == L'\n' ? 1 : 0;
    EXPECT_EQ(items, 502u);  // header, separator and 500 names
    EXPECT_EQ(menu.text.find(L"0:Unblock a user on the server(grey)\n-\n6000:Unblock on server \u00B7 b0\n"), 0u);
    EXPECT_NE(menu.text.find(L"6499:Unblock on server \u00B7 b499\n"), std::wstring::npos);
    EXPECT_EQ(menu.text.find(L"b500"), std::wstring::npos);

    // Offline, the chosen name is not sent; the box says why.
    ASSERT_EQ(prompts.count(RecordedPrompt::messageBox), 2u);
    EXPECT_EQ(prompts.prompts().back().text, L"Connect to the server before changing your block list.");
}

}  // namespace
