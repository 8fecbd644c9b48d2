// The native player menu: its items for every kind of name, the command each
// choice runs, and the context-menu request from the people lists.
#include "actions/player_menu.h"

#include "dm/direct_messages.h"
#include "session/client_state.h"
#include "support/dm_fixture.h"
#include "support/log_folder.h"
#include "ui/control_ids.h"

#include <gtest/gtest.h>

using namespace Velmor;
using Lines = std::vector<std::wstring>;
using VelmorTest::RecordedPrompt;

namespace {

const std::wstring kCommonItems = L"-\n5101:Message privately...\n5102:Add friend\n-\n5104:Block on server\n";

class PlayerMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        VelmorTest::registerConversationClasses();
        ClientState& state = clientState();
        state.setUsername("me");
        state.connected = false;
        state.uiLanguage = 0;
        state.friends.clear();
        state.blockedUsers.clear();
        state.roomJoined = false;
        state.currentRoom.clear();
        state.roomHost.clear();
        state.roomMembers.clear();
        state.pendingModeration.clear();
    }
    void TearDown() override { VelmorTest::closeConversationWindows(); }

    HWND list(int id) { return window.child(id); }

    // Puts `names` into the list and selects the row holding `selected`.
    void fillAndSelect(int id, std::initializer_list<const wchar_t*> names, int selected)
    {
        ::SendMessageW(list(id), LB_RESETCONTENT, 0, 0);
        for (const wchar_t* name : names) ::SendMessageW(list(id), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
        ::SendMessageW(list(id), LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
    }

    // The items of the menu shown for the selected row of the online list.
    std::wstring menuFor(const wchar_t* name, int choice = 0)
    {
        fillAndSelect(idOnlineUsersList, {name}, 0);
        const std::size_t before = prompts.count(RecordedPrompt::popupMenu);
        prompts.queueMenuChoice(choice);
        showPlayerMenu(list(idOnlineUsersList));
        if (prompts.count(RecordedPrompt::popupMenu) != before + 1) return L"(no menu)";
        for (auto prompt = prompts.prompts().rbegin(); prompt != prompts.prompts().rend(); ++prompt) {
            if (prompt->kind == RecordedPrompt::popupMenu) {
                EXPECT_EQ(prompt->owner, window.handle());
                return prompt->text;
            }
        }
        return {};
    }

    void joinRoom(const wchar_t* host, NameList members)
    {
        ClientState& state = clientState();
        state.connected = true;
        state.roomJoined = true;
        state.currentRoom = L"Lobby";
        state.roomHost = host;
        state.roomMembers = std::move(members);
    }

    VelmorTest::SessionWindow window;
    VelmorTest::PromptRecorder prompts;
};

TEST_F(PlayerMenuTest, OwnNameShowsTheProfileBoxInsteadOfAMenu)
{
    fillAndSelect(idFriendsList, {L"amy", L"me"}, 1);
    showPlayerMenu(list(idFriendsList));
    ASSERT_EQ(prompts.prompts().size(), 1u);
    EXPECT_EQ(prompts.prompts()[0].kind, RecordedPrompt::messageBox);
    EXPECT_EQ(prompts.prompts()[0].owner, window.handle());
    EXPECT_EQ(prompts.prompts()[0].caption, L"Profile");
    EXPECT_EQ(prompts.prompts()[0].text, L"This is your current account.");
    EXPECT_EQ(prompts.prompts()[0].type, static_cast<UINT>(MB_ICONINFORMATION));

    ::SendMessageW(list(idFriendsList), LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    showPlayerMenu(list(idFriendsList));  // no selection: nothing
    EXPECT_EQ(prompts.prompts().size(), 1u);
}

TEST_F(PlayerMenuTest, ItemsFollowTheFriendAndBlockLists)
{
    EXPECT_EQ(menuFor(L"amy"), L"0:amy(grey)\n" + kCommonItems);

    clientState().friends = {L"amy"};
    clientState().blockedUsers = {L"amy"};
    EXPECT_EQ(menuFor(L"amy"),
              L"0:amy(grey)\n-\n5101:Message privately...\n5103:Remove friend\n-\n5105:Unblock on server\n");
    EXPECT_EQ(menuFor(L"Amy"), L"0:Amy(grey)\n" + kCommonItems);  // exact names
    EXPECT_EQ(menuFor(L" amy "), L"0: amy (grey)\n" + kCommonItems);  // the row as it stands
}

TEST_F(PlayerMenuTest, TheHostSeesEnabledHostCommandsForOtherMembers)
{
    joinRoom(L"ME", {L"me", L"amy"});
    EXPECT_EQ(menuFor(L"AMY"), L"0:AMY(grey)\n" + kCommonItems +
                                   L"-\n5106:Transfer host to this player\n5107:Kick from room\n");
    EXPECT_EQ(menuFor(L"bob"), L"0:bob(grey)\n" + kCommonItems);  // not in the room
    EXPECT_EQ(menuFor(L"Me"), L"0:Me  [ROOM HOST](grey)\n" + kCommonItems);  // the user in other letters
}

TEST_F(PlayerMenuTest, OtherMembersSeeGreyHostCommandsAndWhoTheHostIs)
{
    joinRoom(L"Bob", {L"Bob", L"amy", L"me"});
    const std::wstring greyHostCommands = L"-\n5106:Transfer host to this player(grey)\n5107:Kick from room(grey)\n";
    EXPECT_EQ(menuFor(L"amy"), L"0:amy(grey)\n" + kCommonItems + greyHostCommands +
                                   L"0:(Host only \u00B7 current host: Bob)(grey)\n");
    EXPECT_EQ(menuFor(L"BOB"), L"0:BOB  [ROOM HOST](grey)\n" + kCommonItems + greyHostCommands +
                                   L"0:(Host only \u00B7 current host: Bob)(grey)\n");

    clientState().roomHost.clear();
    EXPECT_EQ(menuFor(L"amy"), L"0:amy(grey)\n" + kCommonItems + greyHostCommands + L"0:(Host only)(grey)\n");

    clientState().roomJoined = false;  // not confirmed: no host section
    EXPECT_EQ(menuFor(L"amy"), L"0:amy(grey)\n" + kCommonItems);
}

TEST_F(PlayerMenuTest, EachChoiceRunsItsAction)
{
    clientState().blockedUsers = {L"troll"};
    menuFor(L"troll", idPlayerMessage);  // blocked: the box, no window
    ASSERT_EQ(prompts.count(RecordedPrompt::messageBox), 1u);
    EXPECT_EQ(prompts.prompts().back().text,
              L"This player is blocked on the server. Unblock them before opening a direct message.");
    EXPECT_EQ(directMessageWindowOf(L"troll"), nullptr);

    menuFor(L"amy", idPlayerMessage);
    ASSERT_NE(directMessageWindowOf(L"amy"), nullptr);
    EXPECT_EQ(::GetForegroundWindow(), directMessageWindowOf(L"amy"));

    menuFor(L"amy", idPlayerAddFriend);
    EXPECT_EQ(clientState().friends, NameList{L"amy"});
    menuFor(L"amy", idPlayerRemoveFriend);
    EXPECT_TRUE(clientState().friends.empty());

    window.takeTranscript();
    menuFor(L"amy", idPlayerBlock);  // offline: the block command refuses in the transcript
    menuFor(L"troll", idPlayerUnblock);
    EXPECT_EQ(window.takeTranscript(), (Lines{L"Cannot change server block settings while offline.",
                                              L"Cannot change server block settings while offline."}));

    runPlayerCommand(idPlayerAddFriend, L"");  // no name: nothing
    runPlayerCommand(4242, L"amy");             // not a player command: nothing
    EXPECT_TRUE(clientState().friends.empty());

    joinRoom(L"bob", {L"bob", L"amy", L"me"});
    const std::size_t boxes = prompts.count(RecordedPrompt::messageBox);
    menuFor(L"amy", idPlayerTransferHost);  // a stale choice: the action checks again
    menuFor(L"amy", idPlayerKick);
    ASSERT_EQ(prompts.count(RecordedPrompt::messageBox), boxes + 2);
    EXPECT_EQ(prompts.prompts()[prompts.prompts().size() - 3].text,
              L"Only the current room host can transfer host privileges.");
    EXPECT_EQ(prompts.prompts().back().text, L"Only the current room host can kick room members.");
}

TEST_F(PlayerMenuTest, AContextMenuRequestOpensTheMenuOnlyOverARow)
{
    const HWND members = list(idRoomMembersList);
    ::SetWindowPos(members, nullptr, 0, 0, 200, 200, SWP_NOZORDER);
    fillAndSelect(idRoomMembersList, {L"amy", L"bob"}, 0);
    RECT row = {};
    ::SendMessageW(members, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&row));
    POINT onBob = {row.left + 5, (row.top + row.bottom) / 2};
    POINT below = {row.left + 5, row.bottom + 30};
    ::ClientToScreen(members, &onBob);
    ::ClientToScreen(members, &below);

    EXPECT_TRUE(onRosterContextMenu(window.handle(), members, MAKELPARAM(below.x, below.y)));
    EXPECT_EQ(prompts.count(RecordedPrompt::popupMenu), 0u);
    EXPECT_EQ(::SendMessageW(members, LB_GETCURSEL, 0, 0), 0);

    EXPECT_TRUE(onRosterContextMenu(window.handle(), members, MAKELPARAM(onBob.x, onBob.y)));
    EXPECT_EQ(::SendMessageW(members, LB_GETCURSEL, 0, 0), 1);
    ASSERT_EQ(prompts.count(RecordedPrompt::popupMenu), 1u);
    EXPECT_EQ(prompts.prompts().back().text.substr(0, 12), L"0:bob(grey)\n");

    // From the keyboard: the row under the mouse pointer.
    ::SendMessageW(members, LB_SETCURSEL, 0, 0);
    ASSERT_TRUE(::SetCursorPos(onBob.x, onBob.y));
    EXPECT_TRUE(onRosterContextMenu(window.handle(), members, MAKELPARAM(-1, -1)));
    EXPECT_EQ(::SendMessageW(members, LB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(prompts.count(RecordedPrompt::popupMenu), 2u);

    EXPECT_FALSE(onRosterContextMenu(window.handle(), window.child(idTranscriptBox), MAKELPARAM(onBob.x, onBob.y)));
    EXPECT_FALSE(onRosterContextMenu(window.handle(), window.handle(), MAKELPARAM(onBob.x, onBob.y)));
    EXPECT_EQ(prompts.count(RecordedPrompt::popupMenu), 2u);
}

}  // namespace
