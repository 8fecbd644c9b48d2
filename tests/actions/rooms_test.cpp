// The room commands' preconditions and local state, without a server: every
// request the commands send fails here, which is itself a path to check.
#include "actions/rooms.h"

#include "session/client_state.h"
#include "support/main_window_fixture.h"
#include "support/prompt_recorder.h"
#include "support/log_folder.h"
#include "ui/control_ids.h"

#include <gtest/gtest.h>

#include <commctrl.h>

using namespace Velmor;
using Lines = std::vector<std::wstring>;
using VelmorTest::RecordedPrompt;

namespace {

class RoomCommandsTest : public ::testing::Test {
protected:
    RoomCommandsTest()
    {
        for (const auto& [id, style] : {std::pair{idRoomNameBox, ES_AUTOHSCROLL}, std::pair{idGameBox, ES_AUTOHSCROLL},
                                        std::pair{idRoomMessageBox, ES_AUTOHSCROLL}}) {
            ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD | style, 0, 0, 100, 20, window.handle(),
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        }
    }
    void SetUp() override
    {
        ClientState& state = clientState();
        state.connected = false;
        state.roomJoined = false;
        state.currentRoom.clear();
        state.roomHost.clear();
        state.roomMembers.clear();
        state.clearDesiredRoom();
        state.setUsername("me");
    }
    void setText(int id, const wchar_t* text) { ::SetWindowTextW(window.child(id), text); }
    std::wstring text(int id) { return window.label(id); }
    void addRoomRow(const wchar_t* name)
    {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = 1000;
        item.pszText = const_cast<wchar_t*>(name);
        ::SendMessageW(window.child(idRoomListView), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    void selectRow(int row)
    {
        LVITEMW item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        ::SendMessageW(window.child(idRoomListView), LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                       reinterpret_cast<LPARAM>(&item));
    }

    VelmorTest::SessionWindow window;
    VelmorTest::PromptRecorder prompts;
};

TEST_F(RoomCommandsTest, CreateNeedsANameAndAConnection)
{
    setText(idRoomNameBox, L"   ");
    createRoom();
    ASSERT_EQ(prompts.prompts().size(), 1u);
    EXPECT_EQ(prompts.prompts()[0].text, L"Enter a room name first.");
    EXPECT_EQ(prompts.prompts()[0].caption, L"Create room");
    EXPECT_EQ(prompts.prompts()[0].type, static_cast<UINT>(MB_ICONINFORMATION));

    setText(idRoomNameBox, L"Lobby");
    createRoom();
    ASSERT_EQ(prompts.prompts().size(), 2u);
    EXPECT_EQ(prompts.prompts()[1].text, L"Connect to the server before creating a room.");
    EXPECT_EQ(prompts.prompts()[1].type, static_cast<UINT>(MB_ICONWARNING));
    EXPECT_EQ(clientState().readDesiredRoom(), "");  // a refused create changes nothing
    EXPECT_TRUE(clientState().currentRoom.empty());
    EXPECT_TRUE(window.takeTranscript().empty());
}

TEST_F(RoomCommandsTest, CreateWhoseRequestCannotBeSentKeepsTheWantedRoom)
{
    clientState().connected = true;  // connected flag without a connection: every send fails
    clientState().roomMembers = {L"old"};
    setText(idRoomNameBox, L"  Lobby  ");
    createRoom();
    EXPECT_EQ(clientState().readDesiredRoom(), "Lobby");
    EXPECT_EQ(clientState().currentRoom, L"Lobby");
    EXPECT_FALSE(clientState().roomJoined);
    EXPECT_TRUE(clientState().roomMembers.empty());
    EXPECT_EQ(window.takeTranscript(), Lines{L"Could not send the room creation request. Check the connection."});
}

TEST_F(RoomCommandsTest, JoinNeedsASelectedRowAndWaitsForTheConnection)
{
    joinSelectedRoom();
    ASSERT_EQ(prompts.count(RecordedPrompt::messageBox), 1u);
    EXPECT_EQ(prompts.prompts()[0].text, L"Select a room from the list first.");
    EXPECT_EQ(prompts.prompts()[0].caption, L"Join room");

    addRoomRow(L"First");
    addRoomRow(L"  Second room ");
    selectRow(1);
    joinSelectedRoom();
    EXPECT_EQ(clientState().readDesiredRoom(), "Second room");
    EXPECT_EQ(clientState().currentRoom, L"Second room");
    EXPECT_FALSE(clientState().roomJoined);
    EXPECT_EQ(window.takeTranscript(), (Lines{L"Joining room: Second room",
                                              L"The client will join automatically when the connection returns."}));

    addRoomRow(L"   ");
    selectRow(2);
    joinSelectedRoom();  // a blank name stops silently
    EXPECT_EQ(clientState().readDesiredRoom(), "Second room");
    EXPECT_TRUE(window.takeTranscript().empty());
}

TEST_F(RoomCommandsTest, LeavingWhileOfflineClearsTheRoomLocally)
{
    clientState().setDesiredRoom("Lobby");
    clientState().currentRoom = L"Lobby";
    clientState().roomHost = L"amy";
    clientState().roomJoined = true;
    clientState().roomMembers = {L"amy", L"me"};
    leaveRoom();
    EXPECT_EQ(clientState().readDesiredRoom(), "");
    EXPECT_TRUE(clientState().currentRoom.empty());
    EXPECT_TRUE(clientState().roomHost.empty());
    EXPECT_FALSE(clientState().roomJoined);
    EXPECT_EQ(window.listBox(idRoomMembersList), L"");
    EXPECT_EQ(window.takeTranscript(), Lines{L"You left the room."});
}

TEST_F(RoomCommandsTest, ChatNeedsConfirmedMembershipAndAConnection)
{
    setText(idRoomMessageBox, L"  ");
    sendRoomMessage();  // empty: nothing at all
    EXPECT_TRUE(prompts.prompts().empty());

    setText(idRoomMessageBox, L"hello");
    clientState().setDesiredRoom("Lobby");
    sendRoomMessage();  // not confirmed yet
    ASSERT_EQ(prompts.prompts().size(), 1u);
    EXPECT_EQ(prompts.prompts()[0].text, L"Wait for the server to confirm room membership before sending messages.");
    EXPECT_EQ(prompts.prompts()[0].caption, L"Chat");
    EXPECT_EQ(text(idRoomMessageBox), L"hello");

    clientState().roomJoined = true;
    sendRoomMessage();  // confirmed but offline
    ASSERT_EQ(prompts.prompts().size(), 2u);
    EXPECT_EQ(prompts.prompts()[1].text, L"There is no connection to the server.");
    EXPECT_EQ(prompts.prompts()[1].type, static_cast<UINT>(MB_ICONWARNING));

    clientState().connected = true;  // the send itself fails
    sendRoomMessage();
    EXPECT_EQ(text(idRoomMessageBox), L"hello");
    EXPECT_EQ(window.takeTranscript(), Lines{L"Message could not be sent. Check the connection."});
}

TEST_F(RoomCommandsTest, RefreshWhileOfflineReportsInTheTranscript)
{
    refreshPresenceAndRooms();
    EXPECT_EQ(window.takeTranscript(), Lines{L"Refresh failed: not connected to the server."});
}

}  // namespace
