// The room host's transfer and kick commands without a server: who counts as
// the host, what is refused before anything is sent, the confirmation, and a
// send that fails (every send fails here, there is no connection).
#include "actions/host_moderation.h"

#include "actions/pending_moderation.h"
#include "diagnostics/diagnostic_log.h"
#include "session/client_state.h"
#include "support/main_window_fixture.h"
#include "support/prompt_recorder.h"
#include "support/log_folder.h"
#include "ui/control_ids.h"

#include <gtest/gtest.h>

using namespace Velmor;
using Lines = std::vector<std::wstring>;
using VelmorTest::RecordedPrompt;

namespace {

class HostModerationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        enterRoomAsHost();
        logStart_ = DiagnosticLog::snapshot().size();
    }

    static void enterRoomAsHost()
    {
        ClientState& state = clientState();
        state.setUsername("me");
        state.connected = true;  // the flag without a connection: a send fails
        state.roomJoined = true;
        state.currentRoom = L"Lobby";
        state.roomHost = L"me";
        state.pendingModeration.clear();
    }

    // Log lines since the last call that mention a request being sent.
    Lines sendLines()
    {
        const auto entries = DiagnosticLog::snapshot();
        Lines lines;
        for (std::size_t i = logStart_; i < entries.size(); ++i) {
            if (entries[i].text.find(L"WS TX") != std::wstring::npos) lines.push_back(entries[i].text.substr(13));
        }
        logStart_ = entries.size();
        return lines;
    }

    // True when the confirmation timer was running (it is stopped by this).
    bool timerWasRunning() { return ::KillTimer(window.handle(), kModerationTimerId) != FALSE; }

    VelmorTest::SessionWindow window;
    VelmorTest::PromptRecorder prompts;

private:
    std::size_t logStart_ = 0;
};

TEST_F(HostModerationTest, TheHostIsRecognisedIgnoringLetterCase)
{
    ClientState& state = clientState();
    EXPECT_TRUE(isSelfRoomHost());
    state.roomHost = L"ME";
    EXPECT_TRUE(isSelfRoomHost());
    state.setUsername("\xC3\x89mile");  // Émile
    state.roomHost = L"\u00E9MILE";
    EXPECT_TRUE(isSelfRoomHost());
    state.roomHost = L"Emile";  // a different letter, not a different case
    EXPECT_FALSE(isSelfRoomHost());

    state.roomHost = L"\u00C9mile";
    state.roomJoined = false;  // the room is not confirmed yet
    EXPECT_FALSE(isSelfRoomHost());
    state.roomJoined = true;
    state.roomHost.clear();
    state.setUsername("");
    EXPECT_FALSE(isSelfRoomHost());  // an unknown host is nobody, not an empty name
}

TEST_F(HostModerationTest, WithoutAConfirmedRoomBothAskToJoinFirst)
{
    ClientState& state = clientState();
    for (const int variant : {0, 1, 2}) {
        enterRoomAsHost();
        if (variant == 0) state.roomJoined = false;
        if (variant == 1) state.connected = false;
        if (variant == 2) state.currentRoom.clear();
        transferRoomHost(L"amy");
        kickRoomMember(L"amy");
        EXPECT_EQ(window.takeTranscript(), (Lines{L"Join a room before transferring its host.",
                                                  L"Join a room before removing a member."}))
            << variant;
    }
    EXPECT_TRUE(prompts.prompts().empty());
    EXPECT_TRUE(sendLines().empty());
    EXPECT_FALSE(timerWasRunning());
}

TEST_F(HostModerationTest, OnlyTheHostIsOffered)
{
    clientState().roomHost = L"amy";
    transferRoomHost(L"bob");
    kickRoomMember(L"bob");
    ASSERT_EQ(prompts.prompts().size(), 2u);
    EXPECT_EQ(prompts.prompts()[0].owner, window.handle());
    EXPECT_EQ(prompts.prompts()[0].text, L"Only the current room host can transfer host privileges.");
    EXPECT_EQ(prompts.prompts()[0].type, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_EQ(prompts.prompts()[1].text, L"Only the current room host can kick room members.");
    EXPECT_TRUE(window.takeTranscript().empty());
    EXPECT_TRUE(sendLines().empty());
}

TEST_F(HostModerationTest, AnythingButYesSendsNothingAndStartsNoTimer)
{
    for (const int answer : {IDNO, IDCANCEL, IDOK}) {
        prompts.queueAnswer(answer);
        transferRoomHost(L"amy");
        prompts.queueAnswer(answer);
        kickRoomMember(L"amy");
    }
    ASSERT_EQ(prompts.prompts().size(), 6u);
    const RecordedPrompt& transfer = prompts.prompts()[0];
    EXPECT_EQ(transfer.caption, L"Transfer room host");
    EXPECT_EQ(transfer.text, L"Transfer room host privileges to amy?");
    EXPECT_EQ(transfer.type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2));
    const RecordedPrompt& kick = prompts.prompts()[1];
    EXPECT_EQ(kick.caption, L"Kick room member");
    EXPECT_EQ(kick.text, L"Remove amy from this room? They may rejoin unless further room controls are added.");
    EXPECT_EQ(kick.type, static_cast<UINT>(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));

    EXPECT_TRUE(sendLines().empty());
    EXPECT_TRUE(window.takeTranscript().empty());
    EXPECT_TRUE(clientState().pendingModeration.empty());
    EXPECT_FALSE(timerWasRunning());
}

TEST_F(HostModerationTest, AFailedSendKeepsTheEarlierPendingRequest)
{
    startPendingModeration(clientState(), L"block zed");
    prompts.queueAnswer(IDYES);
    transferRoomHost(L"amy");
    prompts.queueAnswer(IDYES);
    kickRoomMember(L"amy");
    EXPECT_EQ(sendLines(), (Lines{L"[WARN] WS TX failed: transfer_host", L"[WARN] WS TX failed: kick_user"}));
    EXPECT_EQ(window.takeTranscript(),
              (Lines{L"Could not send the host transfer request.", L"Could not send the kick request."}));
    EXPECT_EQ(clientState().pendingModeration, L"block zed");
    EXPECT_TRUE(timerWasRunning());
}

}  // namespace
