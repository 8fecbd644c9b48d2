// The workspace pages in the real client: the real start-up (Direct3D 11,
// Dear ImGui, the hidden native controls) connected to the local server with
// its demo bots, driven by mouse and keyboard messages aimed where the
// toolkit laid each widget out, and checked against what the server received,
// what the client stored and what it shows.
#include "app/main_window.h"
#include "diagnostics/diagnostic_log.h"
#include "dm/direct_messages.h"
#include "json/json_value.h"
#include "json/text_encoding.h"
#include "session/client_state.h"
#include "session/session.h"
#include "support/control_text.h"
#include "support/item_map.h"
#include "support/log_folder.h"
#include "support/prompt_recorder.h"
#include "support/registry.h"
#include "support/server_control.h"
#include "support/temp_dir.h"
#include "transport/websocket_connection.h"
#include "ui/control_ids.h"
#include "ui/workspace_state.h"

#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace Velmor;
using namespace std::chrono_literals;
using VelmorTest::RecordedPrompt;

namespace {

// A second member of the community: a plain connection of the client's own
// transport that records what the server sends it.
class Peer {
public:
    explicit Peer(const std::string& name)
    {
        std::wstring error;
        connection_ = VelmorTransport::WebSocketConnection::open(L"localhost", L"/websocket?user=" + utf8ToUtf16(name),
                                                                 error);
        if (!connection_) {
            ADD_FAILURE() << "the peer could not connect: " << utf16ToUtf8(error);
            return;
        }
        reader_ = std::thread([this] {
            std::string message;
            VelmorTransport::ReceivedKind kind{};
            std::wstring failure;
            while (connection_->receive(message, kind, failure)) {
                std::lock_guard lock(lock_);
                received_.push_back(message);
            }
        });
    }
    ~Peer()
    {
        if (connection_) connection_->cancel();
        if (reader_.joinable()) reader_.join();
    }
    void send(const std::string& text)
    {
        std::wstring error;
        ASSERT_TRUE(connection_ && connection_->sendText(text, error)) << utf16ToUtf8(error);
    }
    std::string everything()
    {
        std::lock_guard lock(lock_);
        std::string all;
        for (const std::string& message : received_) all += message + "\n";
        return all;
    }
    bool hasReceived(const std::string& part)
    {
        std::lock_guard lock(lock_);
        for (const std::string& message : received_) {
            if (message.find(part) != std::string::npos) return true;
        }
        return false;
    }

private:
    std::shared_ptr<VelmorTransport::WebSocketConnection> connection_;
    std::thread reader_;
    std::mutex lock_;
    std::vector<std::string> received_;
};

bool transcriptHas(const std::wstring& part) { return ActivityTranscript::text().find(part) != std::wstring::npos; }

bool logHas(const std::wstring& part)
{
    for (const LogEntry& entry : DiagnosticLog::snapshot()) {
        if (entry.text.find(part) != std::wstring::npos) return true;
    }
    return false;
}

std::vector<unsigned char> storedValue(const wchar_t* name)
{
    DWORD type = 0;
    std::vector<unsigned char> data;
    VelmorTest::readRawValue(name, type, data);
    return data;
}

std::wstring storedText(const wchar_t* name)
{
    const std::vector<unsigned char> data = storedValue(name);
    std::wstring text(data.size() / 2, L'\0');
    std::copy(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(text.size() * 2),
              reinterpret_cast<unsigned char*>(text.data()));
    for (wchar_t& unit : text) {
        if (unit == L'\0') unit = L'|';
    }
    return text;
}

DWORD storedDword(const wchar_t* name)
{
    const std::vector<unsigned char> data = storedValue(name);
    return data.size() == 4 ? *reinterpret_cast<const DWORD*>(data.data()) : 0xFFFFFFFF;
}

// One client for the whole program: a process starts its session once. The
// scenarios run in order against it, each leaving it connected.
class WorkspacePages : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        VelmorTest::ServerControl().get("/reset");
        VelmorTest::deleteSettingsKey();
        const std::wstring name = L"Pager";
        VelmorTest::writeRawValue(L"Username", REG_SZ, name.c_str(), static_cast<DWORD>((name.size() + 1) * 2));
        window = startApplication(::GetModuleHandleW(nullptr), SW_SHOWNORMAL);
        if (!window) return;
        // Frames are far apart on a slow machine; the double click must not
        // depend on how far.
        ImGui::GetIO().MouseDoubleClickTime = 30.0f;
        items.attach();
    }
    static void TearDownTestSuite()
    {
        if (::IsWindow(window)) {
            items.detach();
            ::PostMessageW(window, WM_CLOSE, 0, 0);
            runMessageLoop();
        }
        VelmorTest::deleteSettingsKey();
    }
    void SetUp() override
    {
        ASSERT_NE(window, nullptr) << "start-up failed";
        ASSERT_TRUE(until([] { return clientState().connected.load() && logHas(L"WS RX: blocked_users"); }))
            << "the client is not connected";
    }
    void TearDown() override
    {
        for (HWND conversation = ::FindWindowW(kDirectMessageWindowClass, nullptr); conversation;
             conversation = ::FindWindowW(kDirectMessageWindowClass, nullptr)) {
            ::DestroyWindow(conversation);
        }
        control.get("/clear_faults");
        ::SendMessageW(window, WM_KEYDOWN, VK_ESCAPE, 0);  // closes a pop-up left open
        ::SendMessageW(window, WM_KEYUP, VK_ESCAPE, 0);
        frame();
    }

    // Handles what is queued (shortcuts as the message loop does), then
    // draws one frame.
    static void frame()
    {
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) continue;
            if (translateMainWindowAccelerator(message)) continue;
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
            if (message.message == WM_TIMER) break;
        }
        renderMainWindowFrame();
    }
    static bool until(const std::function<bool()>& condition, std::chrono::seconds limit = 60s)
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            frame();
            ::Sleep(5);
        }
        return true;
    }

    bool shows(const std::string& text)
    {
        return until([&] { return items.shows(text); }, 30s);
    }
    const VelmorTest::ItemMap::Item* find(const std::string& label, const std::string& where = {})
    {
        const VelmorTest::ItemMap::Item* item = nullptr;
        until([&] { return (item = items.find(label, where)) != nullptr; }, 30s);
        if (!item) {
            ADD_FAILURE() << "no item \"" << label << "\" in a window named like \"" << where << "\"; frame "
                          << ImGui::GetFrameCount() << " page " << clientState().activePage << " has: " << items.labels()
                          << "\ntranscript ends: "
                          << utf16ToUtf8(ActivityTranscript::text().substr(
                                 ActivityTranscript::text().size() - std::min<std::size_t>(600, ActivityTranscript::text().size())));
        }
        return item;
    }

    // The mouse goes where the item is drawn, as the pointer would: the
    // cursor itself is moved too, so the toolkit's own reading agrees.
    void pointAt(const VelmorTest::ItemMap::Item& item)
    {
        const POINT client{static_cast<LONG>((item.min.x + item.max.x) / 2),
                           static_cast<LONG>((item.min.y + item.max.y) / 2)};
        POINT screen = client;
        ::ClientToScreen(window, &screen);
        ::SetCursorPos(screen.x, screen.y);
        ::PostMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(client.x, client.y));
        frame();
        point = client;
    }
    void press(UINT down, UINT up, WPARAM held)
    {
        ::PostMessageW(window, down, held, MAKELPARAM(point.x, point.y));
        frame();
        ::PostMessageW(window, up, 0, MAKELPARAM(point.x, point.y));
        frame();
    }
    void click(const std::string& label, const std::string& where = {})
    {
        const VelmorTest::ItemMap::Item* item = find(label, where);
        ASSERT_NE(item, nullptr);
        pointAt(*item);
        press(WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON);
        frame();
    }
    void doubleClick(const std::string& label, const std::string& where = {})
    {
        const VelmorTest::ItemMap::Item* item = find(label, where);
        ASSERT_NE(item, nullptr);
        pointAt(*item);
        press(WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON);
        press(WM_LBUTTONDBLCLK, WM_LBUTTONUP, MK_LBUTTON);
        frame();
    }
    // Opens the item's pop-up. Once, on a heavily loaded machine, a
    // right-click opened nothing (most likely the X server's own pointer
    // motion, delivered late, moved the release off the item); the click is
    // then made again, at most twice more, and the pop-up must be open in
    // the end.
    void rightClick(const std::string& label, const std::string& where = {})
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            const VelmorTest::ItemMap::Item* item = find(label, where);
            ASSERT_NE(item, nullptr);
            pointAt(*item);
            press(WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON);
            frame();
            if (ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId)) break;
        }
        EXPECT_TRUE(ImGui::IsPopupOpen("", ImGuiPopupFlags_AnyPopupId)) << "no pop-up for \"" << label << "\"";
    }
    void type(const std::wstring& text)
    {
        for (const wchar_t unit : text) ::PostMessageW(window, WM_CHAR, unit, 1);
        frame();
        frame();
    }
    // A key with modifiers held, as the keyboard sends it to the window:
    // modifiers down, the key down and up, modifiers up.
    void key(int virtualKey, std::initializer_list<int> held = {})
    {
        BYTE saved[256];
        ::GetKeyboardState(saved);
        BYTE state[256] = {};
        for (const int modifier : held) state[modifier] = 0x80;
        ::SetKeyboardState(state);
        for (const int modifier : held) ::PostMessageW(window, WM_KEYDOWN, static_cast<WPARAM>(modifier), 1);
        ::PostMessageW(window, WM_KEYDOWN, static_cast<WPARAM>(virtualKey), 1);
        frame();
        ::PostMessageW(window, WM_KEYUP, static_cast<WPARAM>(virtualKey), 0xC0000001);
        frame();
        ::SetKeyboardState(saved);
        for (const int modifier : held) ::PostMessageW(window, WM_KEYUP, static_cast<WPARAM>(modifier), 0xC0000001);
        frame();
        frame();
    }
    // Native controls get the same: characters, and a press and release.
    void typeInto(HWND control, const std::wstring& text)
    {
        for (const wchar_t unit : text) ::PostMessageW(control, WM_CHAR, unit, 1);
        frame();
    }
    void clickButton(HWND button)
    {
        ::PostMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
        ::PostMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
        frame();
        frame();
    }
    void goTo(const char* railLabel, WorkspacePageId page)
    {
        click(railLabel, "WorkspaceRail");
        EXPECT_EQ(clientState().activePage, page) << railLabel;
    }

    // What the server received from the client, as "type text" lines.
    std::vector<std::string> requests(const std::string& type)
    {
        std::vector<std::string> texts;
        for (const std::string& line : control.requestLines()) {
            const auto record = parseJsonDocument(line);
            if (record && memberText(*record, "user") == "Pager" && memberText(*record, "type") == type) {
                texts.push_back(memberText(*record, "text"));
            }
        }
        return texts;
    }
    bool received(const std::string& type, const std::string& part = {})
    {
        for (const std::string& text : requests(type)) {
            if (text.find(part) != std::string::npos) return true;
        }
        return false;
    }
    bool serverGot(const std::string& type, const std::string& part = {})
    {
        return until([&] { return received(type, part); });
    }

    VelmorTest::ServerControl control;
    VelmorTest::PromptRecorder prompts;
    POINT point{};
    static inline VelmorTest::ItemMap items;
    static inline HWND window = nullptr;
};

TEST_F(WorkspacePages, RoomsAreCreatedJoinedLeftAndChattedInFromThePages)
{
    ClientState& state = clientState();
    goTo("05   Rooms", pageRooms);
    EXPECT_EQ(VelmorTest::windowText(::GetDlgItem(window, idPageTitleLabel)), L"Rooms & players");
    ASSERT_TRUE(until([&] { return items.find("Demo Lobby", "RoomsTable") != nullptr; }));

    // Create: the name typed into the card, the game left at its default.
    click("Room name", "CreateRoomCard");
    type(L"Say \"hi\" \\ \u00E9t\u00E9");
    click("Create & join", "CreateRoomCard");
    ASSERT_TRUE(serverGot("create_room"));
    EXPECT_TRUE(received("create_room", R"("room_name":"Say \"hi\" \\ été")")) << requests("create_room")[0];
    EXPECT_TRUE(received("create_room", R"("game":"Stronghold Crusader")"));
    ASSERT_TRUE(serverGot("join_room", R"(Say \"hi\")"));
    EXPECT_TRUE(serverGot("list_rooms"));
    ASSERT_TRUE(until([&] { return state.roomJoined.load(); }));

    // Ctrl+L from the rooms page: room chat, and typing lands in the composer.
    key('L', {VK_CONTROL});
    EXPECT_EQ(state.activePage, pageRoomChat);
    ASSERT_TRUE(until([] { return ImGui::GetIO().WantTextInput; })) << "the composer did not take the focus";
    const std::wstring line = L"Quote \" and \\ back, \u0645\u0631\u062D\u0628\u0627 \U0001F600";
    type(line);
    EXPECT_EQ(workspaceState().roomMessageInput, utf16ToUtf8(line));
    key(VK_RETURN);
    ASSERT_TRUE(serverGot("message"));
    EXPECT_TRUE(received("message", R"("text":"Quote \" and \\ back, مرحبا 😀")")) << requests("message")[0];
    EXPECT_TRUE(workspaceState().roomMessageInput.empty());
    EXPECT_TRUE(VelmorTest::windowText(::GetDlgItem(window, idRoomMessageBox)).empty());
    EXPECT_TRUE(until([&] { return transcriptHas(L"Pager: " + line); }));
    EXPECT_TRUE(shows("Connected to Say \"hi\" \\ \xC3\xA9t\xC3\xA9  \xC2\xB7  Room members: 1"))
        << "the footer names the room";

    // Leave from the composer row.
    click("Leave room");
    EXPECT_TRUE(serverGot("leave_room"));
    EXPECT_FALSE(state.roomJoined);

    // Join the selected row, then by a double click after leaving again.
    goTo("05   Rooms", pageRooms);
    click("Demo Lobby", "RoomsTable");
    EXPECT_EQ(workspaceState().selectedRoomName, L"Demo Lobby");
    // A refreshed list arrives without a selection; the table's pick still counts.
    click("Refresh", "RoomTableCard");
    const HWND roomList = ::GetDlgItem(window, idRoomListView);
    LVITEMW none = {};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(roomList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    click("Join selected room");
    ASSERT_TRUE(serverGot("join_room", "Demo Lobby"));
    ASSERT_TRUE(until([&] { return state.roomJoined.load() && state.currentRoom == L"Demo Lobby"; }));
    click("Open room chat");
    EXPECT_EQ(state.activePage, pageRoomChat);
    click("Leave room");
    ASSERT_TRUE(until([&] { return requests("leave_room").size() == 2; }));
    goTo("05   Rooms", pageRooms);
    doubleClick("Demo Lobby", "RoomsTable");
    EXPECT_TRUE(until([&] { return requests("join_room").size() == 3 && state.roomJoined.load(); }));

    // F5 refreshes; the composer refuses nothing it should not: a line sent
    // while not in a room stays in the composer.
    const std::size_t listed = requests("list_users").size();
    key(VK_F5);
    EXPECT_TRUE(until([&] { return requests("list_users").size() > listed; }));
    goTo("01   Room chat", pageRoomChat);
    click("Leave room");
    ASSERT_TRUE(until([&] { return !state.roomJoined.load(); }));
    key('L', {VK_CONTROL});
    type(L"kept");
    key(VK_RETURN);
    EXPECT_EQ(workspaceState().roomMessageInput, "kept");
    EXPECT_EQ(prompts.prompts().back().text, L"Wait for the server to confirm room membership before sending messages.");
}

TEST_F(WorkspacePages, PlayersAreBefriendedBlockedAndModeratedFromThePeoplePage)
{
    ClientState& state = clientState();
    goTo("05   Rooms", pageRooms);
    click("Room name", "CreateRoomCard");
    key('A', {VK_CONTROL});  // replaces the name left from before
    type(L"Moderated");
    click("Create & join", "CreateRoomCard");
    ASSERT_TRUE(until([&] { return state.roomJoined.load(); }));
    Peer peer("Peer");
    peer.send(R"({"type":"join_room","room":"Moderated"})");
    ASSERT_TRUE(until([&] { return containsName(state.roomMembers, L"Peer"); }))
        << "members: " << state.roomMembers.size() << ", the peer got: " << peer.everything();

    // Search filters the people page (ignoring case); the search stays on the
    // friends page.
    goTo("02   People", pagePeople);
    EXPECT_EQ(VelmorTest::windowText(::GetDlgItem(window, idPageTitleLabel)), L"People online");
    click("Search players");
    type(L"pE");
    ASSERT_NE(find("\xE2\x97\x8F  Peer", "PlayerRosterCard"), nullptr);
    EXPECT_EQ(items.find("\xE2\x97\x8F  Mira", "PlayerRosterCard"), nullptr) << "the search did not filter";

    // Friends from the card, stored at once.
    click("\xE2\x97\x8F  Peer", "PlayerRosterCard");
    EXPECT_EQ(workspaceState().selectedPlayer, L"Peer");
    click("Add friend");
    EXPECT_TRUE(containsName(state.friends, L"Peer"));
    EXPECT_EQ(storedText(L"Friends"), L"Peer||");
    goTo("03   Friends", pageFriends);
    ASSERT_NE(find("\xE2\x97\x8F  Peer", "PlayerRosterCard"), nullptr);
    click("Clear search");
    click("Remove friend");
    EXPECT_FALSE(containsName(state.friends, L"Peer"));
    EXPECT_EQ(storedText(L"Friends").find(L"Peer"), std::wstring::npos);
    EXPECT_TRUE(shows("Your friends list is empty."));

    // Block from the pop-up, confirmed; the row shows the mark; unblock.
    goTo("02   People", pagePeople);
    rightClick("\xE2\x97\x8F  Peer", "PlayerRosterCard");
    prompts.queueAnswer(IDYES);
    click("Block on server");
    EXPECT_EQ(prompts.prompts().back().caption, L"Server block");
    ASSERT_TRUE(serverGot("block_user", R"("username":"Peer")"));
    ASSERT_TRUE(until([&] { return state.isServerBlocked(L"Peer"); }));
    ASSERT_NE(find("\xE2\x8A\x98  Peer", "PlayerRosterCard"), nullptr);
    rightClick("\xE2\x8A\x98  Peer", "PlayerRosterCard");
    prompts.queueAnswer(IDYES);
    click("Unblock on server");
    ASSERT_TRUE(serverGot("unblock_user", R"("username":"Peer")"));
    ASSERT_TRUE(until([&] { return !state.isServerBlocked(L"Peer"); }));

    // An unanswered request: the pending line, then the warning when the
    // 8-second timer fires.
    control.get("/fault?name=withhold_moderation");
    rightClick("\xE2\x97\x8F  Peer", "PlayerRosterCard");
    prompts.queueAnswer(IDYES);
    click("Kick from room");
    ASSERT_TRUE(serverGot("kick_user", R"("username":"Peer")"));
    EXPECT_TRUE(transcriptHas(L"Kick requested for Peer. Waiting for server authorization..."));
    EXPECT_EQ(state.pendingModeration, L"kick Peer");
    ::SendMessageW(window, WM_TIMER, kModerationTimerId, 0);
    EXPECT_TRUE(state.pendingModeration.empty());
    EXPECT_TRUE(until([] { return transcriptHas(L"kick Peer"); }));
    control.get("/clear_faults");

    // Kick, then the host role handed over: the peer is told of both.
    rightClick("\xE2\x97\x8F  Peer", "PlayerRosterCard");
    prompts.queueAnswer(IDYES);
    click("Kick from room");
    ASSERT_TRUE(until([&] { return peer.hasReceived("kicked_from_room"); }));
    ASSERT_TRUE(until([&] { return !containsName(state.roomMembers, L"Peer"); }));
    peer.send(R"({"type":"join_room","room":"Moderated"})");
    ASSERT_TRUE(until([&] { return containsName(state.roomMembers, L"Peer"); }));
    rightClick("\xE2\x97\x8F  Peer", "PlayerRosterCard");
    prompts.queueAnswer(IDYES);
    click("Transfer host");
    ASSERT_TRUE(serverGot("transfer_host", R"("to":"Peer")"));
    ASSERT_TRUE(until([&] { return state.roomHost == L"Peer"; }));
    // Now not the host: both commands are offered greyed.
    rightClick("\xE2\x97\x8F  Peer", "PlayerRosterCard");
    EXPECT_TRUE(shows("(host only \xC2\xB7 current host: Peer)"));
    const std::size_t kicks = requests("kick_user").size();
    click("Kick from room");
    EXPECT_EQ(requests("kick_user").size(), kicks);
}

TEST_F(WorkspacePages, AConversationStartsFromThePlayerCardAndWaitsForItsAcknowledgement)
{
    Peer peer("Peer");
    goTo("02   People", pagePeople);
    click("\xE2\x97\x8F  Peer", "PlayerRosterCard");
    click("Message");
    const HWND conversation = directMessageWindowOf(L"Peer");
    ASSERT_NE(conversation, nullptr);
    DirectMessageWindow* record = directMessageRecord(conversation);
    ASSERT_NE(record, nullptr);

    // Acknowledged: the line shows once the server says so.
    typeInto(record->inputBox, L"first \"line\"");
    clickButton(record->sendButton);
    ASSERT_TRUE(serverGot("dm", R"("to":"Peer")"));
    EXPECT_TRUE(received("dm", R"("request_id":"dm-)"));
    EXPECT_TRUE(until([&] { return !record->awaitingAck; }));
    EXPECT_TRUE(peer.hasReceived(R"(first \"line\")"));

    // Withheld: input disabled and "Sending..." until the 12-second timer
    // gives up; the late acknowledgement is then ignored.
    control.get("/fault?name=withhold_dm_sent");
    typeInto(record->inputBox, L"second");
    clickButton(record->sendButton);
    ASSERT_TRUE(serverGot("dm", "second"));
    EXPECT_TRUE(record->awaitingAck);
    EXPECT_FALSE(::IsWindowEnabled(record->inputBox));
    EXPECT_EQ(VelmorTest::windowText(record->sendButton), L"Sending...");
    const std::string expired = record->pendingRequestId;
    ::SendMessageW(conversation, WM_TIMER, kDirectMessageAckTimerId, 0);
    EXPECT_FALSE(record->awaitingAck);
    EXPECT_TRUE(::IsWindowEnabled(record->inputBox));
    EXPECT_EQ(VelmorTest::windowText(record->inputBox), L"second");

    // The next line waits; the expired line's acknowledgement arriving now
    // is not taken for it.
    clickButton(record->sendButton);
    ASSERT_TRUE(until([&] { return requests("dm").size() == 3; }));
    ASSERT_TRUE(record->awaitingAck);
    ASSERT_NE(record->pendingRequestId, expired);
    control.get("/send?user=Pager&text=" +
                VelmorTest::ServerControl::encode(R"({"type":"dm_sent","to":"Peer","text":"second","request_id":")" +
                                                  expired + "\"}"));
    EXPECT_TRUE(until([] { return transcriptHas(L"Ignored a late acknowledgement for the DM to Peer."); }));
    EXPECT_TRUE(record->awaitingAck);
}

// Each received message the window handles gives its share of the worker's
// allowance back: 2,000 lines, twice the allowance, all reach the transcript.
TEST_F(WorkspacePages, TwoThousandRoomLinesPassThroughTheWindowWithoutStallingReception)
{
    ClientState& state = clientState();
    if (!state.roomJoined || state.currentRoom != L"Demo Lobby") {
        ASSERT_TRUE(sendJoinRoom("Demo Lobby"));
        ASSERT_TRUE(until([&] { return state.roomJoined.load() && state.currentRoom == L"Demo Lobby"; }));
    }
    Peer peer("Flood");
    peer.send(R"({"type":"join_room","room":"Demo Lobby"})");
    ASSERT_TRUE(until([&] { return containsName(state.roomMembers, L"Flood"); }));
    for (int line = 0; line < 2000; ++line) {
        peer.send(R"({"type":"message","text":"flood line )" + std::to_string(line) + "\"}");
    }
    EXPECT_TRUE(until([&] { return transcriptHas(L"Flood: flood line 1999"); }, 180s))
        << state.serverTextsInFlight.load() << " messages in hand";
    EXPECT_TRUE(until([&] { return state.serverTextsInFlight.load() == 0; }));
    // The flood pushed the start-up lines out of the log's memory; the next
    // scenario looks for a block list answer there.
    ASSERT_TRUE(sendRequest("list_blocked"));
    EXPECT_TRUE(until([] { return logHas(L"WS RX: blocked_users"); }));
}

TEST_F(WorkspacePages, SettingsAndDiagnosticsActAtOnce)
{
    ClientState& state = clientState();
    goTo("06   Settings", pageSettings);

    click("Color theme", "AppearanceCard");
    click("Light Canvas");
    EXPECT_EQ(state.uiTheme, 2);
    EXPECT_EQ(storedDword(L"UiTheme"), 2u);
    EXPECT_TRUE(logHas(L"Theme changed to Light Canvas"));
    frame();
    const ImVec4 background = ImGui::GetStyle().Colors[ImGuiCol_WindowBg];
    EXPECT_GT(background.x + background.y + background.z, 2.5f) << "the workspace is not light";

    click("Interface language", "AppearanceCard");
    click("French");
    EXPECT_EQ(state.uiLanguage, 2);
    EXPECT_EQ(storedDword(L"UiLanguage"), 2u);
    EXPECT_TRUE(logHas(L"Interface language preference updated"));
    EXPECT_EQ(VelmorTest::windowText(::GetDlgItem(window, idConnectButton)), L"Se connecter");
    EXPECT_TRUE(shows("Settings & preferences")) << "the workspace stays English";

    const bool sound = state.notificationSound;
    click("Play a soft sound when a private message arrives");
    EXPECT_EQ(state.notificationSound, !sound);
    EXPECT_EQ(storedDword(L"NotificationSound"), sound ? 0u : 1u);
    EXPECT_EQ(::SendMessageW(::GetDlgItem(window, idNotificationSoundCheck), BM_GETCHECK, 0, 0),
              sound ? BST_UNCHECKED : BST_CHECKED);

    // Diagnostics by its shortcut: search, filter, copy, export and clear.
    key('D', {VK_CONTROL, VK_SHIFT});
    EXPECT_EQ(state.activePage, pageDiagnostics);
    DiagnosticLog::write(kLevelError, L"Injected FAILURE for the page");
    DiagnosticLog::write(kLevelInfo, L"Injected ordinary line");
    ASSERT_TRUE(shows("Injected FAILURE for the page"));
    EXPECT_TRUE(shows("Theme changed to Light Canvas"));
    click("Search events");
    type(L"injected");
    EXPECT_EQ(VelmorTest::windowText(::GetDlgItem(window, idLogSearchBox)), L"injected");
    ASSERT_TRUE(shows("Injected ordinary line"));
    EXPECT_FALSE(items.shows("Theme changed to Light Canvas")) << "the search did not filter";
    click("Filter");
    click("Errors only");
    EXPECT_EQ(::SendMessageW(::GetDlgItem(window, idLogFilterCombo), CB_GETCURSEL, 0, 0), 2);
    EXPECT_TRUE(until([&] { return !items.shows("Injected ordinary line"); }));
    EXPECT_TRUE(items.shows("Injected FAILURE for the page"));
    // The counts stay those of the whole log, whatever the filter.
    EXPECT_TRUE(until([&] {
        std::size_t warnings = 0;
        std::size_t errors = 0;
        const std::vector<LogEntry> entries = DiagnosticLog::snapshot();
        for (const LogEntry& entry : entries) {
            warnings += entry.severity == severityWarning;
            errors += entry.severity == severityError;
        }
        return items.shows(std::to_string(entries.size()) + " events    \xC2\xB7    " + std::to_string(warnings) +
                           " warnings    \xC2\xB7    " + std::to_string(errors) + " errors");
    }));

    click("Copy log");
    ASSERT_TRUE(::OpenClipboard(window));
    const HANDLE data = ::GetClipboardData(CF_UNICODETEXT);
    const std::wstring copied = data ? static_cast<const wchar_t*>(::GlobalLock(data)) : L"";
    if (data) ::GlobalUnlock(data);
    ::CloseClipboard();
    EXPECT_NE(copied.find(L"Injected FAILURE for the page"), std::wstring::npos);
    EXPECT_EQ(copied.find(L"Injected ordinary line"), std::wstring::npos) << "the copy ignored the filter";

    VelmorTest::TempDir folder;
    const std::wstring exported = folder.str() + L"\\export.log";
    prompts.queueSavePath(exported);
    click("Export");
    std::ifstream file(std::filesystem::path(exported), std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(written.find("Injected FAILURE for the page"), std::string::npos);
    EXPECT_EQ(written.find("Injected ordinary line"), std::string::npos);

    click("Clear");
    EXPECT_TRUE(until([&] { return !items.shows("Injected FAILURE for the page"); }));
    EXPECT_LT(DiagnosticLog::snapshot().size(), 3u);

    // Ctrl+K's menu and the rail reach every page.
    prompts.queueMenuChoice(idNavRecent);
    key('K', {VK_CONTROL});
    EXPECT_EQ(state.activePage, pageRecent);
    EXPECT_TRUE(shows("Recent activity"));
    goTo("01   Room chat", pageRoomChat);
    goTo("07   Diagnostics", pageDiagnostics);
}

}  // namespace
