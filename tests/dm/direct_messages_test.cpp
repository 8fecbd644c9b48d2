// Conversation windows without a server: opening, refusing, the one-line-
// at-a-time rule, acknowledgements, errors, time-outs, the transcript cap and
// the window's own layout and font. A line can only be sent successfully to a
// live server, so the waiting state is entered directly where a test needs it.
#include "dm/direct_messages.h"

#include "diagnostics/diagnostic_log.h"
#include "session/client_state.h"
#include "support/dm_fixture.h"
#include "support/log_folder.h"
#include "ui/control_ids.h"
#include "ui/theme.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

using namespace Velmor;
using Lines = std::vector<std::wstring>;
using VelmorTest::conversationLines;
using VelmorTest::conversationWindow;
using VelmorTest::controlText;
using VelmorTest::RecordedPrompt;

namespace {

const wchar_t kTimeoutLine[] =
    L"No server acknowledgement arrived within 12 seconds. Confirm that a DM-capable Worker is deployed and the "
    L"recipient is online, then retry.";

class DirectMessageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        VelmorTest::registerConversationClasses();
        ClientState& state = clientState();
        state.setUsername("me");
        state.connected = false;
        state.blockedUsers.clear();
        state.uiLanguage = 0;
        logStart_ = DiagnosticLog::snapshot().size();
    }
    void TearDown() override
    {
        VelmorTest::closeConversationWindows();
        EXPECT_TRUE(clientState().dmWindows.empty());  // every closed window took its entry along
    }

    DirectMessageWindow& record(const std::wstring& peer)
    {
        DirectMessageWindow* found = directMessageRecord(conversationWindow(peer));
        if (!found) throw std::runtime_error("no record");
        return *found;
    }

    void typeLine(DirectMessageWindow& conversation, const wchar_t* text)
    {
        ::SetWindowTextW(conversation.inputBox, text);
    }

    void pressEnter(const DirectMessageWindow& conversation)
    {
        ::SendMessageW(conversation.inputBox, WM_KEYDOWN, VK_RETURN, 0x001C0001);
        ::SendMessageW(conversation.inputBox, WM_CHAR, L'\r', 0x001C0001);
    }

    // The number the next request id will carry (this takes one).
    static unsigned long long peekRequestNumber() { return std::stoull(nextDirectMessageRequestId().substr(3)) + 1; }

    bool ackTimerWasRunning(const DirectMessageWindow& conversation)
    {
        return ::KillTimer(conversation.window, kDirectMessageAckTimerId) != FALSE;
    }

    // The waiting-state facts of a window, as the user sees them.
    static void expectIdle(const DirectMessageWindow& conversation)
    {
        EXPECT_FALSE(conversation.awaitingAck);
        EXPECT_TRUE(conversation.pendingText.empty());
        EXPECT_TRUE(conversation.pendingRequestId.empty());
        EXPECT_TRUE(::IsWindowEnabled(conversation.inputBox));
        EXPECT_TRUE(::IsWindowEnabled(conversation.sendButton));
        EXPECT_EQ(controlText(conversation.sendButton), L"Send");
    }

    Lines logLinesWith(const wchar_t* part)
    {
        const auto entries = DiagnosticLog::snapshot();
        Lines lines;
        for (std::size_t i = logStart_; i < entries.size(); ++i) {
            if (entries[i].text.find(part) != std::wstring::npos) lines.push_back(entries[i].text.substr(13));
        }
        return lines;
    }

    VelmorTest::SessionWindow window;
    VelmorTest::PromptRecorder prompts;

private:
    std::size_t logStart_ = 0;
};

TEST_F(DirectMessageTest, OpeningTwiceShowsTheSameWindowAndOnlyRaisesItWhenAsked)
{
    ::ShowWindow(window.handle(), SW_SHOW);
    ::SetForegroundWindow(window.handle());
    ASSERT_EQ(::GetForegroundWindow(), window.handle());

    openDirectMessage(L"amy", false);
    const HWND amy = conversationWindow(L"amy");
    EXPECT_EQ(::GetForegroundWindow(), window.handle());
    EXPECT_TRUE(::IsWindowVisible(amy));
    EXPECT_EQ(controlText(amy), L"Direct message  \u00B7  amy");
    EXPECT_EQ(::GetWindow(amy, GW_OWNER), window.handle());
    EXPECT_TRUE(::GetWindowLongPtrW(amy, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    EXPECT_EQ(conversationLines(amy), Lines{L"Direct conversation with amy"});

    openDirectMessage(L"amy", false);
    EXPECT_EQ(VelmorTest::threadWindowsOfClass(kDirectMessageWindowClass).size(), 1u);
    EXPECT_EQ(::GetForegroundWindow(), window.handle());

    ::ShowWindow(amy, SW_MINIMIZE);
    openDirectMessage(L"amy", true);
    EXPECT_EQ(conversationWindow(L"amy"), amy);
    EXPECT_FALSE(::IsIconic(amy));
    EXPECT_EQ(::GetForegroundWindow(), amy);

    openDirectMessage(L"Amy", false);  // names are exact: another peer
    EXPECT_EQ(VelmorTest::threadWindowsOfClass(kDirectMessageWindowClass).size(), 2u);
    EXPECT_NE(conversationWindow(L"Amy"), amy);
}

TEST_F(DirectMessageTest, OwnAndEmptyNamesOpenNothing)
{
    openDirectMessage(L"me", true);
    openDirectMessage(L"", true);
    appendDirectMessageLine(L"", L"x");
    appendDirectMessageLine(L"me", L"me: hello");
    openDirectMessageFromPlayer(L"me");
    EXPECT_TRUE(VelmorTest::threadWindowsOfClass(kDirectMessageWindowClass).empty());
    EXPECT_TRUE(clientState().dmWindows.empty());
    EXPECT_TRUE(prompts.prompts().empty());

    openDirectMessage(L"ME", false);  // the own name is matched exactly
    EXPECT_EQ(VelmorTest::threadWindowsOfClass(kDirectMessageWindowClass).size(), 1u);
}

TEST_F(DirectMessageTest, BlockedPlayersAreRefusedFromThePlayerActions)
{
    clientState().blockedUsers = {L"troll"};
    openDirectMessageFromPlayer(L"troll");
    ASSERT_EQ(prompts.prompts().size(), 1u);
    const RecordedPrompt& box = prompts.prompts()[0];
    EXPECT_EQ(box.owner, window.handle());
    EXPECT_EQ(box.caption, L"Direct messages");
    EXPECT_EQ(box.text, L"This player is blocked on the server. Unblock them before opening a direct message.");
    EXPECT_EQ(box.type, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_EQ(directMessageWindowOf(L"troll"), nullptr);

    openDirectMessageFromPlayer(L"amy");
    EXPECT_EQ(::GetForegroundWindow(), conversationWindow(L"amy"));
}

TEST_F(DirectMessageTest, AWindowThatCannotBeMadeIsReportedAndNotRecorded)
{
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    ASSERT_TRUE(::UnregisterClassW(kDirectMessageWindowClass, instance));
    openDirectMessage(L"amy", true);
    ASSERT_TRUE(registerDirectMessageWindowClass(instance));
    ASSERT_EQ(prompts.prompts().size(), 1u);
    EXPECT_EQ(prompts.prompts()[0].owner, window.handle());
    EXPECT_EQ(prompts.prompts()[0].caption, L"Velmor Chat");
    EXPECT_EQ(prompts.prompts()[0].text, L"Could not open the direct-message window.");
    EXPECT_EQ(prompts.prompts()[0].type, static_cast<UINT>(MB_ICONERROR));
    EXPECT_TRUE(clientState().dmWindows.empty());
}

TEST_F(DirectMessageTest, SendIsRefusedBeforeAnythingIsSent)
{
    openDirectMessage(L"amy", true);
    DirectMessageWindow& amy = record(L"amy");
    const auto before = peekRequestNumber();

    typeLine(amy, L"  \t ");
    pressEnter(amy);  // blank: nothing at all
    EXPECT_EQ(conversationLines(amy.window), Lines{L"Direct conversation with amy"});

    typeLine(amy, L" hello ");
    pressEnter(amy);  // offline
    EXPECT_EQ(conversationLines(amy.window),
              (Lines{L"Direct conversation with amy", L"Cannot send: not connected to the server."}));
    EXPECT_EQ(controlText(amy.inputBox), L" hello ");

    clientState().blockedUsers = {L"amy"};
    ::SendMessageW(amy.window, WM_COMMAND, MAKEWPARAM(idDmSendButton, BN_CLICKED),
                   reinterpret_cast<LPARAM>(amy.sendButton));
    ASSERT_EQ(prompts.prompts().size(), 1u);
    EXPECT_EQ(prompts.prompts()[0].owner, amy.window);
    EXPECT_EQ(prompts.prompts()[0].caption, L"Direct messages");
    EXPECT_EQ(prompts.prompts()[0].text, L"Unblock this user on the server before messaging them.");
    EXPECT_EQ(prompts.prompts()[0].type, static_cast<UINT>(MB_ICONWARNING));

    EXPECT_EQ(peekRequestNumber(), before + 1);  // no id was taken by any of them
    EXPECT_TRUE(logLinesWith(L"WS TX").empty());
    expectIdle(amy);
}

TEST_F(DirectMessageTest, ShiftEnterIsLeftToTheEditBox)
{
    openDirectMessage(L"amy", true);
    DirectMessageWindow& amy = record(L"amy");
    typeLine(amy, L"hello");
    BYTE keys[256] = {};
    ASSERT_TRUE(::GetKeyboardState(keys));
    keys[VK_SHIFT] = 0x80;
    ASSERT_TRUE(::SetKeyboardState(keys));
    pressEnter(amy);
    keys[VK_SHIFT] = 0;
    ::SetKeyboardState(keys);
    EXPECT_EQ(conversationLines(amy.window), Lines{L"Direct conversation with amy"});  // not even the offline line
}

TEST_F(DirectMessageTest, AFailedWriteRestoresTheWindowAndKeepsTheText)
{
    clientState().connected = true;  // the flag without a connection
    openDirectMessage(L"amy", true);
    DirectMessageWindow& amy = record(L"amy");
    const auto before = peekRequestNumber();
    typeLine(amy, L"  hello  ");
    pressEnter(amy);
    EXPECT_EQ(conversationLines(amy.window),
              (Lines{L"Direct conversation with amy", L"Send failed: the client could not write to the WebSocket."}));
    expectIdle(amy);
    EXPECT_FALSE(ackTimerWasRunning(amy));
    EXPECT_EQ(controlText(amy.inputBox), L"  hello  ");
    EXPECT_EQ(logLinesWith(L"WS TX"), Lines{L"[WARN] WS TX failed: dm"});
    EXPECT_EQ(peekRequestNumber(), before + 2);  // the attempt used exactly one id
}

TEST_F(DirectMessageTest, ASecondEnterWhileWaitingSendsNothing)
{
    clientState().connected = true;
    openDirectMessage(L"amy", true);
    DirectMessageWindow& amy = record(L"amy");
    VelmorTest::enterWaitingState(amy, L"hello", "dm-7");
    const auto before = peekRequestNumber();
    pressEnter(amy);
    ::SendMessageW(amy.window, WM_COMMAND, MAKEWPARAM(idDmSendButton, BN_CLICKED), 0);
    EXPECT_EQ(peekRequestNumber(), before + 1);
    EXPECT_TRUE(logLinesWith(L"WS TX").empty());
    EXPECT_TRUE(amy.awaitingAck);
    EXPECT_EQ(amy.pendingRequestId, "dm-7");
    EXPECT_EQ(conversationLines(amy.window), Lines{L"Direct conversation with amy"});
}

TEST_F(DirectMessageTest, TheTimeOutRestoresSendAndKeepsTheText)
{
    openDirectMessage(L"amy", true);
    DirectMessageWindow& amy = record(L"amy");
    VelmorTest::enterWaitingState(amy, L"hello", "dm-7");
    ::SendMessageW(amy.window, WM_TIMER, kDirectMessageAckTimerId, 0);
    expectIdle(amy);
    EXPECT_FALSE(ackTimerWasRunning(amy));
    EXPECT_EQ(controlText(amy.inputBox), L"hello");
    EXPECT_EQ(conversationLines(amy.window), (Lines{L"Direct conversation with amy", kTimeoutLine}));

    ::SendMessageW(amy.window, WM_TIMER, kDirectMessageAckTimerId, 0);  // nothing waits any more
    EXPECT_EQ(conversationLines(amy.window).size(), 2u);

    acknowledgeDirectMessage(L"amy", L"hello", "dm-7");  // the answer came too late
    EXPECT_EQ(conversationLines(amy.window), (Lines{L"Direct conversation with amy", kTimeoutLine, L"You: hello"}));
    EXPECT_TRUE(window.takeTranscript().empty());
}

TEST_F(DirectMessageTest, AcknowledgementsCompleteOnlyTheirOwnLine)
{
    ::ShowWindow(window.handle(), SW_SHOW);
    openDirectMessage(L"amy", true);
    DirectMessageWindow& amy = record(L"amy");
    VelmorTest::enterWaitingState(amy, L"hello", "dm-7");

    acknowledgeDirectMessage(L"amy", L"hello", "dm-6");
    EXPECT_EQ(window.takeTranscript(), Lines{L"Ignored a late acknowledgement for the DM to amy."});
    EXPECT_TRUE(amy.awaitingAck);
    EXPECT_FALSE(::IsWindowEnabled(amy.inputBox));
    EXPECT_EQ(conversationLines(amy.window), Lines{L"Direct conversation with amy"});

    acknowledgeDirectMessage(L"amy", L"", "");  // no id, no text: the waiting line completes
    expectIdle(amy);
    EXPECT_FALSE(ackTimerWasRunning(amy));
    EXPECT_EQ(controlText(amy.inputBox), L"");
    EXPECT_EQ(::GetFocus(), amy.inputBox);
    EXPECT_EQ(conversationLines(amy.window), (Lines{L"Direct conversation with amy", L"You: hello"}));

    VelmorTest::enterWaitingState(amy, L"how are you", "dm-8");
    acknowledgeDirectMessage(L"amy", L"how are you?", "dm-8");  // the server's echo is what is shown
    expectIdle(amy);
    EXPECT_EQ(conversationLines(amy.window).back(), L"You: how are you?");
    EXPECT_TRUE(window.takeTranscript().empty());
}

TEST_F(DirectMessageTest, AnAcknowledgementWithoutAWindowOpensOneInTheBackground)
{
    ::ShowWindow(window.handle(), SW_SHOW);
    ::SetForegroundWindow(window.handle());
    acknowledgeDirectMessage(L"bob", L"", "dm-1");
    EXPECT_EQ(directMessageWindowOf(L"bob"), nullptr);  // nothing to show

    acknowledgeDirectMessage(L"bob", L"sent elsewhere", "dm-1");
    const HWND bob = conversationWindow(L"bob");
    EXPECT_EQ(conversationLines(bob), (Lines{L"Direct conversation with bob", L"You: sent elsewhere"}));
    EXPECT_EQ(::GetForegroundWindow(), window.handle());
}

TEST_F(DirectMessageTest, ServerErrorsFailTheMatchingLineOrAnIdleWindow)
{
    openDirectMessage(L"amy", true);
    DirectMessageWindow& amy = record(L"amy");
    failDirectMessage(L"amy", "dm-3", L"amy is offline");  // nothing pending: still reported
    expectIdle(amy);
    EXPECT_EQ(conversationLines(amy.window).back(), L"Send failed: amy is offline");

    VelmorTest::enterWaitingState(amy, L"hello", "dm-7");
    failDirectMessage(L"amy", "dm-8", L"other line");
    EXPECT_TRUE(amy.awaitingAck);
    EXPECT_EQ(conversationLines(amy.window).back(), L"Send failed: amy is offline");

    failDirectMessage(L"amy", "", L"rate limited");
    expectIdle(amy);
    EXPECT_FALSE(ackTimerWasRunning(amy));
    EXPECT_EQ(controlText(amy.inputBox), L"hello");
    EXPECT_EQ(conversationLines(amy.window).back(), L"Send failed: rate limited");

    VelmorTest::enterWaitingState(amy, L"hello", "dm-9");
    failDirectMessage(L"amy", "dm-9", L"too long");
    expectIdle(amy);
    EXPECT_EQ(conversationLines(amy.window).back(), L"Send failed: too long");

    failDirectMessage(L"bob", "", L"no window");
    failDirectMessage(L"", "", L"nobody");
    EXPECT_EQ(directMessageWindowOf(L"bob"), nullptr);
}

TEST_F(DirectMessageTest, AnIncomingLineOpensTheConversationBehindTheCurrentWindow)
{
    ::ShowWindow(window.handle(), SW_SHOW);
    ::SetForegroundWindow(window.handle());
    appendDirectMessageLine(L"amy", L"amy: hi there");
    const HWND amy = conversationWindow(L"amy");
    EXPECT_TRUE(::IsWindowVisible(amy));
    EXPECT_FALSE(::IsIconic(amy));
    EXPECT_EQ(::GetForegroundWindow(), window.handle());
    EXPECT_EQ(conversationLines(amy), (Lines{L"Direct conversation with amy", L"amy: hi there"}));

    appendDirectMessageLine(L"amy", L"amy: again");
    EXPECT_EQ(conversationLines(amy).size(), 3u);
    EXPECT_EQ(::GetForegroundWindow(), window.handle());
}

TEST_F(DirectMessageTest, ALongConversationLosesWholeLinesFromItsStart)
{
    appendDirectMessageLine(L"amy", L"first");  // header (30) + "first" (7)
    DirectMessageWindow& amy = record(L"amy");
    const auto line = [](int n, std::size_t length = 9999) {
        std::wstring text = L"line " + std::to_wstring(n);
        text.resize(length, L'.');
        return text;
    };
    for (int n = 1; n <= 9; ++n) appendDirectMessageLine(L"amy", line(n));  // 10001 each with CR LF
    appendDirectMessageLine(L"amy", line(10, 9952));
    EXPECT_EQ(amy.transcriptText.size(), 100000u);  // exactly at the cap: nothing goes
    EXPECT_EQ(amy.transcriptText.substr(0, 30), L"Direct conversation with amy\r\n");

    appendDirectMessageLine(L"amy", L"ab");  // excess 4 ends inside the header: only it goes
    EXPECT_EQ(amy.transcriptText.size(), 100004u - 30u);
    EXPECT_EQ(amy.transcriptText.substr(0, 7), L"first\r\n");

    appendDirectMessageLine(L"amy", line(11));  // excess 9975: "first" and line 1 go
    EXPECT_EQ(amy.transcriptText.size(), 99974u + 10001u - 7u - 10001u);
    EXPECT_EQ(amy.transcriptText.substr(0, 10001), line(2) + L"\r\n");
    EXPECT_EQ(controlText(amy.transcriptBox), amy.transcriptText);  // the box shows all of it
    EXPECT_EQ(conversationLines(amy.window).back(), line(11));
}

TEST_F(DirectMessageTest, RequestIdsCountUpAcrossThreadsWithoutRepeats)
{
    const unsigned long long first = peekRequestNumber();
    EXPECT_EQ(nextDirectMessageRequestId(), "dm-" + std::to_string(first));
    EXPECT_EQ(nextDirectMessageRequestId(), "dm-" + std::to_string(first + 1));

    constexpr int kThreads = 4;
    constexpr int kEach = 2000;
    std::vector<std::vector<std::string>> taken(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&taken, t] {
            for (int i = 0; i < kEach; ++i) taken[t].push_back(nextDirectMessageRequestId());
        });
    }
    for (std::thread& thread : threads) thread.join();
    std::set<unsigned long long> numbers;
    for (const auto& ids : taken) {
        for (const std::string& id : ids) numbers.insert(std::stoull(id.substr(3)));
    }
    ASSERT_EQ(numbers.size(), static_cast<std::size_t>(kThreads * kEach));
    EXPECT_EQ(*numbers.begin(), first + 2);
    EXPECT_EQ(*numbers.rbegin(), first + 1 + kThreads * kEach);
}

TEST_F(DirectMessageTest, ClosingAWindowForgetsOnlyItsOwnEntry)
{
    openDirectMessage(L"amy", false);
    openDirectMessage(L"bob", false);
    const HWND amy = conversationWindow(L"amy");
    const HWND bob = conversationWindow(L"bob");
    ::DestroyWindow(amy);
    EXPECT_EQ(clientState().dmWindows.count(L"amy"), 0u);
    EXPECT_EQ(conversationWindow(L"bob"), bob);

    openDirectMessage(L"amy", false);
    const HWND second = conversationWindow(L"amy");
    clientState().dmWindows[L"amy"] = bob;  // the entry now names another window
    ::DestroyWindow(second);
    EXPECT_EQ(clientState().dmWindows.at(L"amy"), bob);
    clientState().dmWindows.erase(L"amy");
}

TEST_F(DirectMessageTest, LayoutFollowsTheClientSizeWithMinimums)
{
    const DirectMessageLayout normal = directMessageLayout(684, 501, 1.0);
    EXPECT_EQ(normal.transcript, (ChildBounds{14, 14, 656, 425}));
    EXPECT_EQ(normal.input, (ChildBounds{14, 447, 554, 34}));
    EXPECT_EQ(normal.send, (ChildBounds{576, 447, 94, 34}));

    const DirectMessageLayout tiny = directMessageLayout(100, 100, 1.0);
    EXPECT_EQ(tiny.transcript, (ChildBounds{14, 14, 200, 100}));
    EXPECT_EQ(tiny.input, (ChildBounds{14, 122, 120, 34}));
    EXPECT_EQ(tiny.send, (ChildBounds{-8, 122, 94, 34}));

    const DirectMessageLayout large = directMessageLayout(1000, 800, 1.5);  // m 21, g 12, row 51, bw 141
    EXPECT_EQ(large.transcript, (ChildBounds{21, 21, 958, 686}));
    EXPECT_EQ(large.input, (ChildBounds{21, 719, 805, 51}));
    EXPECT_EQ(large.send, (ChildBounds{838, 719, 141, 51}));

    openDirectMessage(L"amy", false);  // the window lays its children out the same way
    const HWND amy = conversationWindow(L"amy");
    RECT client = {};
    ::GetClientRect(amy, &client);
    const DirectMessageLayout expected = directMessageLayout(client.right, client.bottom, 1.0);
    RECT input = {};
    ::GetWindowRect(::GetDlgItem(amy, idDmInputBox), &input);
    ::MapWindowPoints(nullptr, amy, reinterpret_cast<POINT*>(&input), 2);
    EXPECT_EQ((ChildBounds{input.left, input.top, input.right - input.left, input.bottom - input.top}),
              expected.input);

    MINMAXINFO limits = {};
    ::SendMessageW(amy, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, 480);
    EXPECT_EQ(limits.ptMinTrackSize.y, 340);
}

TEST_F(DirectMessageTest, TheWindowFontIsReplacedOnADpiChange)
{
    openDirectMessage(L"amy", false);
    const HWND amy = conversationWindow(L"amy");
    const auto first = static_cast<HFONT>(::GetPropW(amy, kDirectMessageFontProperty));
    ASSERT_NE(first, nullptr);
    for (const int id : {idDmTranscriptBox, idDmInputBox, idDmSendButton})
        EXPECT_EQ(reinterpret_cast<HFONT>(::SendMessageW(::GetDlgItem(amy, id), WM_GETFONT, 0, 0)), first) << id;

    RECT suggested = {40, 50, 40 + 900, 50 + 700};
    ::SendMessageW(amy, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    const auto second = static_cast<HFONT>(::GetPropW(amy, kDirectMessageFontProperty));
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(::GetObjectType(first), 0u);  // the old font was deleted
    for (const int id : {idDmTranscriptBox, idDmInputBox, idDmSendButton})
        EXPECT_EQ(reinterpret_cast<HFONT>(::SendMessageW(::GetDlgItem(amy, id), WM_GETFONT, 0, 0)), second) << id;
    RECT placed = {};
    ::GetWindowRect(amy, &placed);
    EXPECT_EQ(placed.left, 40);
    EXPECT_EQ(placed.right - placed.left, 900);
}

TEST_F(DirectMessageTest, EditsAndLabelsUseTheThemeColours)
{
    openDirectMessage(L"amy", false);
    const HWND amy = conversationWindow(L"amy");
    const HDC dc = ::CreateCompatibleDC(nullptr);
    const auto edit = ::SendMessageW(amy, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc), 0);
    EXPECT_EQ(edit, reinterpret_cast<LRESULT>(themeBrush(5)));
    EXPECT_EQ(::GetTextColor(dc), paletteColor(8));
    EXPECT_EQ(::GetBkColor(dc), paletteColor(5));
    const auto label = ::SendMessageW(amy, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), 0);
    EXPECT_EQ(label, reinterpret_cast<LRESULT>(themeBrush(0)));
    EXPECT_EQ(::GetBkMode(dc), TRANSPARENT);
    EXPECT_EQ(::GetTextColor(dc), paletteColor(8));
    ::DeleteDC(dc);
}

}  // namespace
