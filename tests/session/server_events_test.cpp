// The server event dispatcher: every message type and the malformed ones,
// against a stand-in main window with the real controls.
#include "session/server_events.h"

#include "diagnostics/diagnostic_log.h"
#include "dm/direct_messages.h"
#include "dm/message_toast.h"
#include "i18n/localize.h"
#include "i18n/notices.h"
#include "support/dm_fixture.h"
#include "support/main_window_fixture.h"
#include "support/registry.h"
#include "support/log_folder.h"
#include "ui/control_ids.h"

#include <gtest/gtest.h>

using namespace Velmor;
using Lines = std::vector<std::wstring>;

namespace {

class DispatcherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        VelmorTest::deleteSettingsKey();
        VelmorTest::registerConversationClasses();
        logStart_ = DiagnosticLog::snapshot().size();
        state.setUsername("me");
    }
    void TearDown() override
    {
        VelmorTest::closeConversationWindows();
        VelmorTest::deleteSettingsKey();
    }

    void dispatch(std::string_view text) { dispatchServerText(state, text); }
    Lines transcript() { return window.takeTranscript(); }

    // Log lines written since the last call, without their time stamps.
    Lines logLines()
    {
        const auto entries = DiagnosticLog::snapshot();
        Lines lines;
        for (std::size_t i = logStart_; i < entries.size(); ++i) lines.push_back(entries[i].text.substr(13));
        logStart_ = entries.size();
        return lines;
    }

    VelmorTest::SessionWindow window;
    VelmorTest::PromptRecorder prompts;  // banners beep and flash
    ClientState state;

private:
    std::size_t logStart_ = 0;
};

TEST_F(DispatcherTest, BarePingAndPongAreIgnoredCompletely)
{
    dispatch("pong");
    dispatch("ping");
    EXPECT_TRUE(transcript().empty());
    EXPECT_TRUE(logLines().empty());
}

TEST_F(DispatcherTest, MalformedInputOnlyAddsTheUnrecognisedLine)
{
    const std::string nested = std::string(100, '[') + std::string(100, ']');
    const std::string deepObject = "{\"type\":\"message\",\"x\":" + nested + "}";
    for (const std::string& text : {std::string("not json"), std::string("{\"type\":\"message\""),
                                    std::string("{\"type\":\"message\"} trailing"), std::string("[1,2]"),
                                    std::string("\"message\""), std::string(""), std::string(" pong"), deepObject}) {
        dispatch(text);
        EXPECT_EQ(transcript(), Lines{L"Received an unrecognized message from the server."}) << text;
    }
    EXPECT_TRUE(logLines().empty());  // nothing logged for them
    EXPECT_TRUE(state.onlineUsers.empty());
}

TEST_F(DispatcherTest, TypeIsLoggedAtItsLevelAndUnknownTypesAreReported)
{
    dispatch(R"({"type":"pong"})");
    dispatch(R"({"type":5})");
    dispatch(R"({"type":true})");
    dispatch(R"({})");
    dispatch(R"({"type":["message"]})");
    dispatch(R"({"type":"error","message":"boom"})");
    EXPECT_EQ(transcript(), (Lines{L"Server message: pong", L"Server message: 5", L"Server message: true",
                                   L"Server error: boom"}));
    EXPECT_EQ(logLines(), (Lines{L"[TRACE] WS RX: pong", L"[TRACE] WS RX: 5", L"[TRACE] WS RX: true",
                                 L"[TRACE] WS RX: <missing type>", L"[TRACE] WS RX: <missing type>",
                                 L"[ERROR] WS RX: error"}));
}

TEST_F(DispatcherTest, ConnectedAppliesTheSnapshotAndReadsCapabilities)
{
    dispatch(R"({"type":"connected","users":["amy","bob"],"online_count":2,
                 "rooms":[{"name":"Lobby","users":2}],"capabilities":["x","moderation_v2"]})");
    EXPECT_EQ(transcript(), Lines{L"Connected to the server. Live presence and rooms are syncing."});
    EXPECT_EQ(logLines(), Lines{L"[INFO] WS RX: connected"});
    EXPECT_TRUE(state.moderationV2);
    EXPECT_EQ(window.listBox(idOnlineUsersList), L"amy,bob");
    EXPECT_EQ(window.roomRows(), Lines{L"Lobby|Stronghold Crusader|2|"});

    dispatch(R"({"type":"connected","capabilities":"moderation_v2"})");
    EXPECT_FALSE(state.moderationV2);
    EXPECT_EQ(transcript(), (Lines{L"Connected to the server. Live presence and rooms are syncing.",
                                   localize(kNoticeOutdatedServer)}));
    EXPECT_TRUE(window.roomRows().empty());
}

TEST_F(DispatcherTest, RoomChatHidesBlockedSendersAndDefaultsTheName)
{
    state.blockedUsers = {L"troll"};
    dispatch(R"({"type":"message","username":"troll","text":"spam"})");
    dispatch(R"({"type":"message","username":"amy","text":"hi \"all\""})");
    dispatch(R"({"type":"message","text":"anonymous"})");
    dispatch(R"({"type":"message","username":"Troll"})");
    EXPECT_EQ(transcript(), (Lines{L"amy: hi \"all\"", L"Player: anonymous", L"Troll: "}));
    for (const std::wstring& line : logLines()) EXPECT_EQ(line.find(L"hi"), std::wstring::npos);  // no bodies
}

TEST_F(DispatcherTest, RoomJoinedTakesTheServersViewOfTheRoom)
{
    state.setDesiredRoom("Wanted");
    dispatch(R"({"type":"room_joined","host":"BOB","users":["amy"," bob ","amy","",3]})");
    EXPECT_EQ(state.currentRoom, L"Wanted");
    EXPECT_TRUE(state.roomJoined);
    EXPECT_EQ(state.roomHost, L"BOB");
    EXPECT_EQ(window.listBox(idRoomMembersList), L"bob,amy,3");
    EXPECT_EQ(transcript(), Lines{L"Joined room Wanted as me"});

    dispatch(R"({"type":"room_joined","room":"Caf\u00e9"})");
    EXPECT_EQ(state.currentRoom, L"Caf\u00E9");
    EXPECT_EQ(state.readDesiredRoom(), "Caf\xC3\xA9");
    EXPECT_EQ(state.roomHost, L"");
    EXPECT_TRUE(state.roomMembers.empty());
}

TEST_F(DispatcherTest, MembersComeAndGoAndLeavingResetsTheRoom)
{
    dispatch(R"({"type":"room_joined","room":"Lobby","host":"me","users":["me"]})");
    transcript();
    dispatch(R"({"type":"user_joined_room","username":"amy"})");
    dispatch(R"({"type":"user_joined","username":"bob"})");
    dispatch(R"({"type":"user_left_room","username":"amy"})");
    dispatch(R"({"type":"user_left","username":"nobody"})");
    EXPECT_EQ(window.listBox(idRoomMembersList), L"me,bob");
    EXPECT_EQ(transcript(), (Lines{L"amy joined the room.", L"bob joined the room.", L"amy left the room.",
                                   L"nobody left the room."}));

    dispatch(R"({"type":"left_room"})");
    EXPECT_FALSE(state.roomJoined);
    EXPECT_EQ(state.currentRoom, L"");
    EXPECT_EQ(state.readDesiredRoom(), "");
    EXPECT_EQ(window.listBox(idRoomMembersList), L"");
    EXPECT_EQ(transcript(), Lines{L"You left the room."});
}

TEST_F(DispatcherTest, BlockListKeepsTheFirst500DistinctOtherNames)
{
    std::string users = R"("me"," amy ","amy","",)";
    for (int i = 0; i < 600; ++i) users += "\"u" + std::to_string(i) + "\",";
    users += "\"last\"";
    dispatch(R"({"type":"blocked_users","users":[)" + users + "]}");
    ASSERT_EQ(state.blockedUsers.size(), 500u);
    EXPECT_EQ(state.blockedUsers[0], L"amy");
    EXPECT_EQ(state.blockedUsers[1], L"u0");
    EXPECT_EQ(state.blockedUsers[499], L"u498");
    EXPECT_TRUE(transcript().empty());
    EXPECT_EQ(logLines(), (Lines{L"[TRACE] WS RX: blocked_users", L"[INFO] Synchronized server block list"}));
    DWORD type = 0;
    std::vector<unsigned char> stored;
    EXPECT_TRUE(VelmorTest::readRawValue(L"BlockedUsers", type, stored));

    dispatch(R"({"type":"blocked_users","users":"amy"})");  // not an array: nothing at all
    EXPECT_EQ(state.blockedUsers.size(), 500u);
    EXPECT_EQ(logLines(), Lines{L"[TRACE] WS RX: blocked_users"});
}

TEST_F(DispatcherTest, ModerationAnswersClearThePendingRequest)
{
    state.pendingModeration = L"block amy";
    dispatch(R"({"type":"block_updated","username":"amy","action":"blocked"})");
    EXPECT_TRUE(state.pendingModeration.empty());
    state.pendingModeration = L"unblock amy";
    dispatch(R"({"type":"block_updated","username":"amy","action":"unblocked"})");
    EXPECT_TRUE(state.pendingModeration.empty());
    EXPECT_TRUE(state.blockedUsers.empty());  // only blocked_users changes the list

    state.pendingModeration = L"kick bob";
    dispatch(R"({"type":"host_action_result","action":"kick_user","username":"bob","host":"me"})");
    EXPECT_TRUE(state.pendingModeration.empty());
    dispatch(R"({"type":"host_action_result","action":"transfer_host","host":"cy"})");
    dispatch(R"({"type":"host_action_result"})");
    EXPECT_EQ(transcript(), (Lines{L"Server block enabled for amy.", L"Server block removed for amy.",
                                   L"Removed bob from the room.", L"Room host transferred to cy.",
                                   L"Room host transferred to ."}));
}

TEST_F(DispatcherTest, HostChangesAnnounceOrSyncSilently)
{
    dispatch(R"({"type":"room_joined","room":"Lobby","host":"amy","users":["amy","bob","me"]})");
    transcript();
    dispatch(R"({"type":"host_changed","room":"Lobby","host":"bob","reason":"sync"})");
    EXPECT_EQ(state.roomHost, L"bob");
    EXPECT_EQ(window.listBox(idRoomMembersList), L"bob,amy,me");
    EXPECT_TRUE(transcript().empty());

    dispatch(R"({"type":"host_changed","host":"amy"})");
    EXPECT_EQ(transcript(), Lines{L"Room host is now amy."});
    EXPECT_EQ(window.listBox(idRoomMembersList), L"amy,bob,me");

    dispatch(R"({"type":"host_changed","room":"Lobby","host":"ME"})");
    EXPECT_EQ(transcript(), Lines{localize(kNoticeNowRoomHost)});
    EXPECT_EQ(state.roomHost, L"ME");
    EXPECT_EQ(window.listBox(idRoomMembersList), L"me,amy,bob");

    dispatch(R"({"type":"host_changed","room":"Elsewhere","host":"zed"})");
    EXPECT_EQ(state.roomHost, L"ME");  // another room: only the line
    EXPECT_EQ(transcript(), Lines{L"Room host is now zed."});
}

TEST_F(DispatcherTest, KickFromAnotherRoomOnlyReportsAndSwitchesPage)
{
    dispatch(R"({"type":"room_joined","room":"Lobby","host":"amy","users":["amy","me"]})");
    transcript();
    clientState().activePage = pageRoomChat;
    dispatch(R"({"type":"kicked_from_room","room":"Other","by":"amy"})");
    EXPECT_EQ(state.currentRoom, L"Lobby");
    EXPECT_TRUE(state.roomJoined);
    EXPECT_EQ(clientState().activePage, pageRooms);
    EXPECT_EQ(window.label(idPageTitleLabel), L"Rooms & players");

    dispatch(R"({"type":"kicked_from_room","room":"Lobby"})");
    EXPECT_EQ(state.currentRoom, L"");
    EXPECT_FALSE(state.roomJoined);
    EXPECT_EQ(state.readDesiredRoom(), "");
    EXPECT_EQ(transcript(), (Lines{L"You were removed from the room by amy.",
                                   L"You were removed from the room by the host."}));
}

TEST_F(DispatcherTest, ErrorsReportTheServersMessage)
{
    state.moderationV2 = true;
    state.pendingModeration = L"transfer host to amy";
    dispatch(R"({"type":"error","context":"unsupported"})");
    EXPECT_FALSE(state.moderationV2);
    EXPECT_TRUE(state.pendingModeration.empty());

    state.moderationV2 = true;
    state.pendingModeration = L"kick amy";
    dispatch(R"({"type":"error","context":"dm","message":"amy is offline","to":"amy","request_id":"dm-3"})");
    EXPECT_TRUE(state.moderationV2);
    EXPECT_EQ(state.pendingModeration, L"kick amy");  // not a moderation answer
    EXPECT_EQ(transcript(), (Lines{L"Server error: Unknown error", L"Server error: amy is offline"}));
}

TEST_F(DispatcherTest, PresenceAndRoomListTypesReachTheirHandlers)
{
    dispatch(R"({"type":"users_list","users":["amy","bob"],"recent_users":["bob"]})");
    EXPECT_EQ(window.listBox(idOnlineUsersList), L"amy,bob");
    EXPECT_EQ(window.listBox(idRecentUsersList), L"bob");
    EXPECT_EQ(window.label(idOnlineCountLabel), L"ONLINE NOW  \u00B7  2");

    dispatch(R"({"type":"users_update","users":["cy"]})");
    EXPECT_EQ(window.listBox(idOnlineUsersList), L"cy");
    EXPECT_EQ(window.listBox(idRecentUsersList), L"cy,bob");

    dispatch(R"({"type":"presence_delta","went_online":["dee"],"went_offline":["cy"]})");
    EXPECT_EQ(window.listBox(idOnlineUsersList), L"dee");
    EXPECT_EQ(window.listBox(idRecentUsersList), L"dee,cy,bob");

    dispatch(R"({"type":"rooms_list","rooms":[{"name":"Lobby","host":"amy","players":2,"max_players":4}]})");
    EXPECT_EQ(window.roomRows(), Lines{L"Lobby|Stronghold Crusader|2/4|amy"});

    EXPECT_TRUE(transcript().empty());  // handled, not "Server message: ..."
    EXPECT_EQ(logLines(), (Lines{L"[TRACE] WS RX: users_list", L"[TRACE] WS RX: users_update",
                                 L"[TRACE] WS RX: presence_delta", L"[TRACE] WS RX: rooms_list"}));
}

TEST_F(DispatcherTest, BlockAndRoomErrorsAnswerThePendingModerationRequest)
{
    for (const char* context : {"block", "room"}) {
        state.moderationV2 = true;
        state.pendingModeration = L"block amy";
        dispatch(std::string(R"({"type":"error","context":")") + context + R"(","message":"refused"})");
        EXPECT_TRUE(state.pendingModeration.empty()) << context;
        EXPECT_TRUE(state.moderationV2) << context;  // only "unsupported" clears it
    }
    state.pendingModeration = L"block amy";
    dispatch(R"({"type":"error","context":"Block","message":"refused"})");
    EXPECT_EQ(state.pendingModeration, L"block amy");  // contexts compare exactly
    EXPECT_EQ(transcript(), (Lines{L"Server error: refused", L"Server error: refused", L"Server error: refused"}));
}

TEST_F(DispatcherTest, IdentityUpdateReportsTheServersName)
{
    dispatch(R"({"type":"username_updated","username":"Zo\u00eb"})");
    dispatch(R"({"type":"username_updated"})");
    EXPECT_EQ(transcript(), (Lines{L"Server identity updated to: Zo\u00EB", L"Server identity updated to: me"}));
}

TEST_F(DispatcherTest, DirectMessagesUpdateTheRecentList)
{
    state.blockedUsers = {L"troll"};
    dispatch(R"({"type":"dm","from":"troll","text":"spam"})");
    EXPECT_TRUE(state.recentUsers.empty());
    dispatch(R"({"type":"dm","from":"amy","text":"hello"})");
    dispatch(R"({"type":"dm_sent","to":"bob","text":"hi","request_id":"dm-1"})");
    dispatch(R"({"type":"dm_sent","to":"","text":"ignored"})");
    EXPECT_EQ(state.recentUsers, (NameList{L"bob", L"amy"}));
    EXPECT_EQ(window.listBox(idRecentUsersList), L"bob,amy");
    DWORD type = 0;
    std::vector<unsigned char> stored;
    EXPECT_TRUE(VelmorTest::readRawValue(L"RecentUsers", type, stored));
    for (const std::wstring& line : logLines()) EXPECT_EQ(line.find(L"hello"), std::wstring::npos);
}

TEST_F(DispatcherTest, IllTypedMembersTakeTheirDefaults)
{
    dispatch(R"({"type":"message","username":{"a":1},"text":[1,2]})");
    dispatch(R"({"type":"kicked_from_room","room":null,"by":false})");
    dispatch(R"({"type":"error","message":12.7})");
    EXPECT_EQ(transcript(), (Lines{L"Player: ", L"You were removed from the room by false.", L"Server error: 12"}));
}

TEST_F(DispatcherTest, AnIncomingDirectMessageGoesToItsConversationAndTheBanner)
{
    using VelmorTest::conversationLines;
    dispatch(R"({"type":"dm","from":"amy","text":"hello"})");
    const HWND amy = directMessageWindowOf(L"amy");
    ASSERT_NE(amy, nullptr);
    EXPECT_EQ(conversationLines(amy), (Lines{L"Direct conversation with amy", L"amy: hello"}));
    EXPECT_EQ(toastState().toastTitle, L"Private message from amy");
    EXPECT_EQ(toastState().toastBody, L"hello");
    EXPECT_NE(toastState().toastWindow, nullptr);
    EXPECT_TRUE(transcript().empty());  // the body stays out of the room transcript

    dispatch(R"({"type":"dm","text":"who am I"})");
    ASSERT_NE(directMessageWindowOf(L"Player"), nullptr);
    EXPECT_EQ(conversationLines(directMessageWindowOf(L"Player")).back(), L"Player: who am I");

    state.blockedUsers = {L"troll"};
    dispatch(R"({"type":"dm","from":"troll","text":"spam"})");
    EXPECT_EQ(directMessageWindowOf(L"troll"), nullptr);
    EXPECT_EQ(toastState().toastSender, L"Player");  // no banner either
}

TEST_F(DispatcherTest, AcknowledgementsAndErrorsReachTheWaitingConversation)
{
    using VelmorTest::conversationLines;
    openDirectMessage(L"amy", false);
    DirectMessageWindow* amy = directMessageRecord(directMessageWindowOf(L"amy"));
    ASSERT_NE(amy, nullptr);
    VelmorTest::enterWaitingState(*amy, L"hello", "dm-3");

    dispatch(R"({"type":"dm_sent","to":"amy","text":"hello","request_id":"dm-2"})");
    EXPECT_EQ(transcript(), Lines{L"Ignored a late acknowledgement for the DM to amy."});
    EXPECT_TRUE(amy->awaitingAck);
    dispatch(R"({"type":"dm_sent","to":"amy","text":"hello","request_id":"dm-3"})");
    EXPECT_FALSE(amy->awaitingAck);
    EXPECT_EQ(conversationLines(amy->window).back(), L"You: hello");

    VelmorTest::enterWaitingState(*amy, L"again", "dm-4");
    dispatch(R"({"type":"error","context":"dm","message":"amy is offline","to":"amy","request_id":"dm-5"})");
    EXPECT_TRUE(amy->awaitingAck);  // the error of another line
    EXPECT_EQ(conversationLines(amy->window).back(), L"You: hello");
    dispatch(R"({"type":"error","context":"dm","message":"amy is offline","to":"amy","request_id":"dm-4"})");
    EXPECT_FALSE(amy->awaitingAck);
    EXPECT_EQ(conversationLines(amy->window).back(), L"Send failed: amy is offline");
    dispatch(R"({"type":"error","message":"general"})");
    EXPECT_EQ(conversationLines(amy->window).back(), L"Send failed: amy is offline");
    EXPECT_EQ(transcript(), (Lines{L"Server error: amy is offline", L"Server error: amy is offline",
                                   L"Server error: general"}));

    dispatch(R"({"type":"dm_sent","to":"bob","text":"from another device"})");
    ASSERT_NE(directMessageWindowOf(L"bob"), nullptr);
    EXPECT_EQ(conversationLines(directMessageWindowOf(L"bob")).back(), L"You: from another device");
}

}  // namespace
