// Conversation windows without a server: opening, refusing, one line at a
// time, acknowledgements, errors, time-outs and the transcript cap. A line is
// only sent successfully to a live server, so where a test needs a line in
// flight it puts the window into that state directly.
#include "dm/direct_messages.h"

#include "diagnostics/diagnostic_log.h"
#include "session/client_state.h"
#include "support/dm_fixture.h"
#include "support/log_folder.h"
#include "ui/control_ids.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

using namespace Velmor;
using Lines = std::vector<std::wstring>;
using VelmorTest::conversationLines;
using VelmorTest::conversationWindow;
using VelmorTest::controlText;

namespace {

const wchar_t kTimeoutLine[] =
    L"No server acknowledgement arrived within 12 seconds. Confirm that a DM-capable Worker is deployed and the "
    L"recipient is online, then retry.";

class DirectMessageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        VelmorTest::registerConversationClasses();
        clientState().setUsername("me");
        clientState().connected = false;
        clientState().blockedUsers.clear();
        logStart_ = DiagnosticLog::snapshot().size();
    }
    void TearDown() override
    {
        VelmorTest::closeConversationWindows();
        EXPECT_TRUE(clientState().dmWindows.empty());  // each closed window took its entry along
    }

    DirectMessageWindow& open(const std::wstring& peer, bool bringToFront = true)
    {
        openDirectMessage(peer, bringToFront);
        DirectMessageWindow* found = directMessageRecord(conversationWindow(peer));
        if (!found) throw std::runtime_error("no conversation record");
        return *found;
    }

    void bringMainWindowToFront()
    {
        ::ShowWindow(window.handle(), SW_SHOW);
        ::SetForegroundWindow(window.handle());
        ASSERT_EQ(::GetForegroundWindow(), window.handle());
    }

    static void pressEnter(const DirectMessageWindow& conversation)
    {
        ::SendMessageW(conversation.inputBox, WM_KEYDOWN, VK_RETURN, 0x001C0001);
        ::SendMessageW(conversation.inputBox, WM_CHAR, L'\r', 0x001C0001);
    }

    // The number the next request id will carry (this takes one).
    static unsigned long long peekRequestNumber() { return std::stoull(nextDirectMessageRequestId().substr(3)) + 1; }

    static void expectIdle(const DirectMessageWindow& conversation)
    {
        EXPECT_FALSE(conversation.awaitingAck);
        EXPECT_TRUE(conversation.pendingText.empty());
        EXPECT_TRUE(conversation.pendingRequestId.empty());
        EXPECT_TRUE(::IsWindowEnabled(conversation.inputBox));
        EXPECT_TRUE(::IsWindowEnabled(conversation.sendButton));
        EXPECT_EQ(controlText(conversation.sendButton), L"Send");
        EXPECT_FALSE(::KillTimer(conversation.window, kDirectMessageAckTimerId));  // no timer left running
    }

    Lines sendLogLines()
    {
        const auto entries = DiagnosticLog::snapshot();
        Lines lines;
        for (std::size_t i = logStart_; i < entries.size(); ++i) {
            if (entries[i].text.find(L"WS TX") != std::wstring::npos) lines.push_back(entries[i].text.substr(13));
        }
        return lines;
    }

    VelmorTest::SessionWindow window;
    VelmorTest::PromptRecorder prompts;

private:
    std::size_t logStart_ = 0;
};

TEST_F(DirectMessageTest, OpeningTwiceShowsTheSameWindowAndRaisesItOnlyWhenAsked)
{
    bringMainWindowToFront();
    const HWND amy = open(L"amy", false).window;
    EXPECT_EQ(::GetForegroundWindow(), window.handle());
    EXPECT_TRUE(::IsWindowVisible(amy));
    EXPECT_EQ(controlText(amy), L"Direct message  \u00B7  amy");
    EXPECT_EQ(conversationLines(amy), Lines{L"Direct conversation with amy"});

    EXPECT_EQ(open(L"amy", false).window, amy);
    EXPECT_EQ(VelmorTest::threadWindowsOfClass(kDirectMessageWindowClass).size(), 1u);
    EXPECT_EQ(::GetForegroundWindow(), window.handle());

    ::ShowWindow(amy, SW_MINIMIZE);
    EXPECT_EQ(open(L"amy", true).window, amy);
    EXPECT_FALSE(::IsIconic(amy));
    EXPECT_EQ(::GetForegroundWindow(), amy);

    EXPECT_NE(open(L"Amy").window, amy);  // names are exact
}

TEST_F(DirectMessageTest, OwnAndEmptyNamesOpenNothingAndBlockedPlayersAreRefused)
{
    openDirectMessage(L"me", true);
    openDirectMessage(L"", true);
    appendDirectMessageLine(L"", L"x");
    appendDirectMessageLine(L"me", L"me: hello");
    EXPECT_TRUE(VelmorTest::threadWindowsOfClass(kDirectMessageWindowClass).empty());

    clientState().blockedUsers = {L"troll"};
    openDirectMessageFromPlayer(L"troll");
    ASSERT_EQ(prompts.prompts().size(), 1u);
    EXPECT_EQ(prompts.prompts()[0].owner, window.handle());
    EXPECT_EQ(prompts.prompts()[0].caption, L"Direct messages");
    EXPECT_EQ(prompts.prompts()[0].text,
              L"This player is blocked on the server. Unblock them before opening a direct message.");
    EXPECT_EQ(prompts.prompts()[0].type, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_TRUE(clientState().dmWindows.empty());
}

TEST_F(DirectMessageTest, RefusedAndFailedSendsKeepTheTypedText)
{
    DirectMessageWindow& amy = open(L"amy");
    const auto before = peekRequestNumber();
    ::SetWindowTextW(amy.inputBox, L"  \t ");
    pressEnter(amy);  // blank: nothing at all
    ::SetWindowTextW(amy.inputBox, L" hello ");
    pressEnter(amy);  // offline
    EXPECT_EQ(peekRequestNumber(), before + 1);  // neither took an id

    clientState().blockedUsers = {L"amy"};
    pressEnter(amy);
    ASSERT_EQ(prompts.prompts().size(), 1u);
    EXPECT_EQ(prompts.prompts()[0].owner, amy.window);
    EXPECT_EQ(prompts.prompts()[0].text, L"Unblock this user on the server before messaging them.");
    EXPECT_EQ(prompts.prompts()[0].type, static_cast<UINT>(MB_ICONWARNING));
    clientState().blockedUsers.clear();
    EXPECT_TRUE(sendLogLines().empty());

    clientState().connected = true;  // the flag without a connection: the write fails
    const auto beforeWrite = peekRequestNumber();
    pressEnter(amy);
    EXPECT_EQ(peekRequestNumber(), beforeWrite + 2);  // the attempt used exactly one id
    EXPECT_EQ(sendLogLines(), Lines{L"[WARN] WS TX failed: dm"});
    EXPECT_EQ(conversationLines(amy.window),
              (Lines{L"Direct conversation with amy", L"Cannot send: not connected to the server.",
                     L"Send failed: the client could not write to the WebSocket."}));
    expectIdle(amy);
    EXPECT_EQ(controlText(amy.inputBox), L" hello ");
}

TEST_F(DirectMessageTest, ASecondEnterWhileALineWaitsSendsNothing)
{
    clientState().connected = true;
    DirectMessageWindow& amy = open(L"amy");
    VelmorTest::enterWaitingState(amy, L"hello", "dm-7");
    const auto before = peekRequestNumber();
    pressEnter(amy);
    EXPECT_EQ(peekRequestNumber(), before + 1);
    EXPECT_TRUE(sendLogLines().empty());
    EXPECT_TRUE(amy.awaitingAck);
    EXPECT_EQ(amy.pendingRequestId, "dm-7");
}

TEST_F(DirectMessageTest, TheTimeOutRestoresSendAndALateAnswerStillShows)
{
    DirectMessageWindow& amy = open(L"amy");
    VelmorTest::enterWaitingState(amy, L"hello", "dm-7");
    ::SendMessageW(amy.window, WM_TIMER, kDirectMessageAckTimerId, 0);
    expectIdle(amy);
    EXPECT_EQ(controlText(amy.inputBox), L"hello");
    ::SendMessageW(amy.window, WM_TIMER, kDirectMessageAckTimerId, 0);  // nothing waits any more
    EXPECT_EQ(conversationLines(amy.window), (Lines{L"Direct conversation with amy", kTimeoutLine}));

    acknowledgeDirectMessage(L"amy", L"hello", "dm-7");
    EXPECT_EQ(conversationLines(amy.window).back(), L"You: hello");
    EXPECT_TRUE(window.takeTranscript().empty());
}

TEST_F(DirectMessageTest, AcknowledgementsCompleteOnlyTheirOwnLine)
{
    DirectMessageWindow& amy = open(L"amy");
    VelmorTest::enterWaitingState(amy, L"hello", "dm-7");
    acknowledgeDirectMessage(L"amy", L"hello", "dm-6");
    EXPECT_EQ(window.takeTranscript(), Lines{L"Ignored a late acknowledgement for the DM to amy."});
    EXPECT_TRUE(amy.awaitingAck);
    EXPECT_EQ(conversationLines(amy.window).size(), 1u);

    acknowledgeDirectMessage(L"amy", L"", "");  // no id, no text: the waiting line completes
    expectIdle(amy);
    EXPECT_EQ(controlText(amy.inputBox), L"");
    EXPECT_EQ(::GetFocus(), amy.inputBox);
    EXPECT_EQ(conversationLines(amy.window).back(), L"You: hello");

    VelmorTest::enterWaitingState(amy, L"how are you", "dm-8");
    acknowledgeDirectMessage(L"amy", L"how are you?", "dm-8");  // the server's echo is shown
    EXPECT_EQ(conversationLines(amy.window).back(), L"You: how are you?");

    acknowledgeDirectMessage(L"bob", L"", "dm-1");  // nothing to show: no window
    EXPECT_EQ(directMessageWindowOf(L"bob"), nullptr);
}

TEST_F(DirectMessageTest, ServerErrorsFailTheMatchingLineOrAnIdleWindow)
{
    DirectMessageWindow& amy = open(L"amy");
    failDirectMessage(L"amy", "dm-3", L"amy is offline");  // nothing pending: still reported
    EXPECT_EQ(conversationLines(amy.window).back(), L"Send failed: amy is offline");

    VelmorTest::enterWaitingState(amy, L"hello", "dm-7");
    failDirectMessage(L"amy", "dm-8", L"another line");
    EXPECT_TRUE(amy.awaitingAck);
    for (const char* id : {"", "dm-7"}) {
        VelmorTest::enterWaitingState(amy, L"hello", "dm-7");
        failDirectMessage(L"amy", id, L"rate limited");
        expectIdle(amy);
        EXPECT_EQ(controlText(amy.inputBox), L"hello");
    }
    EXPECT_EQ(conversationLines(amy.window),
              (Lines{L"Direct conversation with amy", L"Send failed: amy is offline", L"Send failed: rate limited",
                     L"Send failed: rate limited"}));

    failDirectMessage(L"bob", "", L"no window");
    EXPECT_EQ(directMessageWindowOf(L"bob"), nullptr);
}

TEST_F(DirectMessageTest, IncomingLinesOpenTheConversationBehindTheCurrentWindow)
{
    bringMainWindowToFront();
    appendDirectMessageLine(L"amy", L"amy: hi there");
    acknowledgeDirectMessage(L"bob", L"sent elsewhere", "dm-1");
    const HWND amy = conversationWindow(L"amy");
    EXPECT_TRUE(::IsWindowVisible(amy));
    EXPECT_FALSE(::IsIconic(amy));
    EXPECT_EQ(::GetForegroundWindow(), window.handle());
    EXPECT_EQ(conversationLines(amy), (Lines{L"Direct conversation with amy", L"amy: hi there"}));
    EXPECT_EQ(conversationLines(conversationWindow(L"bob")),
              (Lines{L"Direct conversation with bob", L"You: sent elsewhere"}));
}

TEST_F(DirectMessageTest, ALongConversationLosesWholeLinesFromItsStart)
{
    appendDirectMessageLine(L"amy", L"first");  // header (30) + "first" (7)
    DirectMessageWindow& amy = open(L"amy", false);
    const auto line = [](int n, std::size_t length = 9999) {
        std::wstring text = L"line " + std::to_wstring(n);
        text.resize(length, L'.');
        return text;
    };
    for (int n = 1; n <= 9; ++n) appendDirectMessageLine(L"amy", line(n));  // 10001 each with CR LF
    appendDirectMessageLine(L"amy", line(10, 9952));
    EXPECT_EQ(amy.transcriptText.size(), 100000u);  // exactly at the cap: nothing goes
    appendDirectMessageLine(L"amy", L"ab");          // excess 4 ends inside the header: only it goes
    EXPECT_EQ(amy.transcriptText.substr(0, 7), L"first\r\n");
    appendDirectMessageLine(L"amy", line(11));  // excess 9975: "first" and line 1 go
    EXPECT_EQ(amy.transcriptText.size(), 100004u - 30u - 7u);
    EXPECT_EQ(amy.transcriptText.substr(0, 10001), line(2) + L"\r\n");
    EXPECT_EQ(controlText(amy.transcriptBox), amy.transcriptText);
}

TEST_F(DirectMessageTest, RequestIdsCountUpAcrossThreadsWithoutRepeats)
{
    const unsigned long long first = peekRequestNumber();
    EXPECT_EQ(nextDirectMessageRequestId(), "dm-" + std::to_string(first));
    std::vector<std::vector<std::string>> taken(4);
    std::vector<std::thread> threads;
    for (auto& ids : taken) {
        threads.emplace_back([&ids] {
            for (int i = 0; i < 2000; ++i) ids.push_back(nextDirectMessageRequestId());
        });
    }
    for (std::thread& thread : threads) thread.join();
    std::set<unsigned long long> numbers;
    for (const auto& ids : taken) {
        for (const std::string& id : ids) numbers.insert(std::stoull(id.substr(3)));
    }
    ASSERT_EQ(numbers.size(), 8000u);
    EXPECT_EQ(*numbers.begin(), first + 1);
    EXPECT_EQ(*numbers.rbegin(), first + 8000);
}

}  // namespace
