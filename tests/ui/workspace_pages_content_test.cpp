// The pages with extreme and hostile content: names of 64 units, Arabic and
// emoji, quotes and backslashes, a room list with missing and ill-typed
// members, thousands of names and rooms, a transcript at its cap and a full
// log. Drawn in a Dear ImGui context without a back-end over the real main
// window's hidden controls, at the sizes people use.
#include "app/main_window.h"
#include "diagnostics/diagnostic_log.h"
#include "json/json_value.h"
#include "session/client_state.h"
#include "session/presence.h"
#include "support/item_map.h"
#include "support/log_folder.h"
#include "support/registry.h"
#include "ui/theme.h"
#include "ui/workspace_frame.h"
#include "ui/workspace_pages.h"
#include "ui/workspace_state.h"

#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <string>

using namespace Velmor;

namespace {

std::wstring numbered(const std::wstring& stem, std::size_t i) { return stem + std::to_wstring(i); }

class HostileContent : public ::testing::Test {
protected:
    void SetUp() override
    {
        VelmorTest::deleteSettingsKey();
        createThemeBrushes();
        ASSERT_TRUE(registerWindowClasses(::GetModuleHandleW(nullptr)));
        window = ::CreateWindowExW(0, kMainWindowClass, L"pages", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr,
                                   nullptr, ::GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        ImGui::CreateContext();
        ImGuiIO& io = ImGui::GetIO();
        io.IniFilename = nullptr;
        io.BackendFlags |= ImGuiBackendFlags_RendererHasTextures;
        items.attach();
        workspaceState().lastAppliedTheme = -1;
    }
    void TearDown() override
    {
        items.detach();
        ImGui::DestroyContext();
        if (::IsWindow(window)) ::DestroyWindow(window);
        for (const wchar_t* name : {kMainWindowClass, kDirectMessageWindowClass, kToastWindowClass}) {
            ::UnregisterClassW(name, ::GetModuleHandleW(nullptr));
        }
        ClientState& state = clientState();
        state.onlineUsers.clear();
        state.friends.clear();
        state.recentUsers.clear();
        state.blockedUsers.clear();
        state.roomMembers.clear();
        state.currentRoom.clear();
        state.roomJoined = false;
        VelmorTest::deleteSettingsKey();
    }

    void frames(int page, float width, float height, float scale)
    {
        clientState().activePage = static_cast<WorkspacePageId>(page);
        for (int i = 0; i < 3; ++i) {
            ImGuiIO& io = ImGui::GetIO();
            io.DisplaySize = ImVec2(width, height);
            io.DeltaTime = 1.0f / 60.0f;
            applyFrameStyle(scale);
            ImGui::NewFrame();
            drawWorkspace(window, width, height, scale, [] {});
            ImGui::Render();
        }
    }
    static ImGuiWindow* childWindow(const char* name)
    {
        for (ImGuiWindow* candidate : ImGui::GetCurrentContext()->Windows) {
            if (candidate->Active && std::string(candidate->Name).find(name) != std::string::npos) return candidate;
        }
        return nullptr;
    }

    HWND window = nullptr;
    VelmorTest::ItemMap items{false};
};

TEST_F(HostileContent, EveryPageKeepsItsCardsWithinThePageWidthAtEverySize)
{
    ClientState& state = clientState();
    const std::wstring longName(64, L'W');
    const std::wstring arabic = L"\u0645\u0631\u064A\u0645";
    const std::wstring emoji = L"\U0001F600\U0001F3F0";
    for (std::size_t i = 0; i < 4000; ++i) state.onlineUsers.push_back(numbered(L"user", i));
    state.onlineUsers.insert(state.onlineUsers.begin(), {longName, arabic, emoji, L"q\"uote\\slash"});
    state.friends = {longName, arabic, emoji};
    state.blockedUsers = {arabic};
    for (std::size_t i = 0; i < 20; ++i) state.recentUsers.push_back(numbered(longName.substr(0, 60), i));
    for (std::size_t i = 0; i < 3000; ++i) state.roomMembers.push_back(numbered(L"member", i));
    state.currentRoom = L"Room \"quoted\" \\ " + longName;
    state.roomJoined = true;

    // Rooms as a careless server might send them: fields missing, of the
    // wrong type, a thousand of them.
    std::string rooms = R"({"type":"room_list","rooms":[{},{"name":5,"game":[],"users":"x","host":{}},)"
                        R"({"name":"Quote \" and \\ slash","game":"G","users":3,"max_players":8,"host":"h"})";
    for (int i = 0; i < 1000; ++i) rooms += R"(,{"name":"room )" + std::to_string(i) + R"(","users":2,"host":"x"})";
    rooms += "]}";
    const auto message = parseJsonDocument(rooms);
    ASSERT_TRUE(message);
    applyRoomsList(state, *message);

    while (ActivityTranscript::text().size() < ActivityTranscript::kMaxCharacters - 200) {
        ActivityTranscript::append(longName + L": " + arabic + L" " + emoji + L" a line of room chat");
    }
    for (int i = 0; i < 1200; ++i) {
        DiagnosticLog::write(i % 3 == 0 ? kLevelError : kLevelInfo, L"entry " + std::to_wstring(i) + L" " + arabic);
    }

    const struct {
        float width, height, scale;
    } sizes[] = {{1480, 940, 1}, {800, 600, 1}, {800, 600, 2}, {1480, 940, 2}, {680, 460, 1}};
    const char* const cards[] = {"ChatPanels",     "ConversationPanel", "OnlinePanel",      "PlayerRosterCard",
                                 "CreateRoomCard", "RoomTableCard",     "AppearanceCard",   "NotificationCard",
                                 "DiagnosticLogCard"};
    for (const auto& size : sizes) {
        for (int page = 0; page < 7; ++page) {
            SCOPED_TRACE(testing::Message() << "page " << page << " at " << size.width << "x" << size.height << " x"
                                            << size.scale);
            frames(page, size.width, size.height, size.scale);
            const ImGuiWindow* area = childWindow("WorkspacePage");
            ASSERT_NE(area, nullptr);
            for (const char* card : cards) {
                const ImGuiWindow* child = childWindow(card);
                if (!child) continue;
                EXPECT_LE(child->Rect().Max.x, area->Rect().Max.x + 0.5f) << card << " spills out to the right";
                EXPECT_GT(child->Rect().GetWidth(), 40.0f) << card << " is squeezed away";
            }
            // Long lists draw only what can be seen, whatever their length.
            std::size_t rows = 0;
            for (const auto& item : items.items()) {
                rows += item.label.rfind("\xE2\x97\x8F  ", 0) == 0 || item.label.rfind("room ", 0) == 0;
            }
            EXPECT_LT(rows, 200u);
        }
    }

    // The stacked room chat page keeps the roster in its pop-up; the wide one
    // shows the online panel beside the conversation.
    frames(pageRoomChat, 680, 460, 1);
    EXPECT_EQ(childWindow("OnlinePanel"), nullptr);
    EXPECT_NE(items.find("Online roster"), nullptr);
    frames(pageRoomChat, 1480, 940, 1);
    EXPECT_NE(childWindow("OnlinePanel"), nullptr);
    EXPECT_EQ(items.find("Online roster"), nullptr);
    // The blocked friend carries the mark; the others the dot. Names are
    // drawn in display form: "مريم" joined (U+FEE3 U+FEAE U+FEF3 U+FEE2) and
    // right to left.
    frames(pageFriends, 1480, 940, 1);
    EXPECT_NE(items.find("\xE2\x8A\x98  \xEF\xBB\xA2\xEF\xBB\xB3\xEF\xBA\xAE\xEF\xBB\xA3"), nullptr);
    EXPECT_NE(items.find("\xE2\x97\x8F  \xF0\x9F\x98\x80\xF0\x9F\x8F\xB0"), nullptr);
}

TEST_F(HostileContent, TheRosterSearchIgnoresCaseAndFollowsTheListAndStaysAcrossPages)
{
    ClientState& state = clientState();
    state.onlineUsers = {L"alice", L"Salim", L"bob"};
    state.friends = {L"ALBERT", L"carol"};
    workspaceState().rosterSearchInput = "AL";
    frames(pagePeople, 1480, 940, 1);
    EXPECT_NE(items.find("\xE2\x97\x8F  alice"), nullptr);
    EXPECT_NE(items.find("\xE2\x97\x8F  Salim"), nullptr);
    EXPECT_EQ(items.find("\xE2\x97\x8F  bob"), nullptr);
    frames(pageFriends, 1480, 940, 1);
    EXPECT_NE(items.find("\xE2\x97\x8F  ALBERT"), nullptr);
    EXPECT_EQ(items.find("\xE2\x97\x8F  carol"), nullptr);

    // A list that changes is filtered again: names in, names out.
    state.onlineUsers = {L"bob", L"Khalil"};
    frames(pagePeople, 1480, 940, 1);
    EXPECT_NE(items.find("\xE2\x97\x8F  Khalil"), nullptr);
    EXPECT_EQ(items.find("\xE2\x97\x8F  alice"), nullptr);
    workspaceState().rosterSearchInput.clear();
    frames(pagePeople, 1480, 940, 1);
    EXPECT_NE(items.find("\xE2\x97\x8F  bob"), nullptr);
    EXPECT_EQ(namesMatching({L"Zo\u00CB", L"zo\u00EB", L"x"}, L"ZO\u00CB"), (std::vector<int>{0, 1}));
}

}  // namespace
