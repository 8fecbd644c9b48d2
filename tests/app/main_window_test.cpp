// The real main window: its class and window procedure with the hidden native
// controls that WM_CREATE builds, the commands, the worker messages, the
// quick-navigation menu, the message loop with its accelerators and the ways
// out of it, and the start-up with Direct3D 11 and Dear ImGui (under Wine and
// Xvfb, Mesa provides the device).
#include "app/main_window.h"

#include "app/dpi.h"
#include "app/renderer.h"
#include "diagnostics/diagnostic_log.h"
#include "dm/direct_messages.h"
#include "platform/app_messages.h"
#include "session/server_events.h"
#include "session/client_state.h"
#include "session/session.h"
#include "support/log_folder.h"
#include "support/prompt_recorder.h"
#include "support/registry.h"
#include "ui/control_ids.h"
#include "ui/roster_list_box.h"
#include "ui/theme.h"
#include "ui/workspace_state.h"

#include <gtest/gtest.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace Velmor;
using VelmorTest::RecordedPrompt;

namespace {

HINSTANCE instance() { return ::GetModuleHandleW(nullptr); }

// Delivers what is queued. A timer message is only retrieved once no posted
// or input message is left, so it ends the pump: when frames take longer than
// the frame timer's period, a timer is always due and "until the queue is
// empty" would never come.
void pump()
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;  // left by an earlier window's destruction
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
        if (message.message == WM_TIMER) break;
    }
}

std::wstring windowText(HWND window)
{
    wchar_t buffer[1024] = {};
    if (window) ::GetWindowTextW(window, buffer, 1024);
    return buffer;
}

std::wstring controlText(HWND control)
{
    const int length = ::GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    ::GetWindowTextW(control, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

std::size_t logLinesWith(const std::wstring& text)
{
    std::size_t count = 0;
    for (const LogEntry& entry : DiagnosticLog::snapshot()) count += entry.text.find(text) != std::wstring::npos;
    return count;
}

std::wstring lastTranscriptLine()
{
    std::wstring text = ActivityTranscript::text();
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    const std::size_t start = text.rfind(L'\n');
    return start == std::wstring::npos ? text : text.substr(start + 1);
}

DWORD storedDword(const wchar_t* name)
{
    DWORD type = 0;
    std::vector<unsigned char> data;
    if (!VelmorTest::readRawValue(name, type, data) || type != REG_DWORD || data.size() != 4) return 0xFFFFFFFF;
    return *reinterpret_cast<const DWORD*>(data.data());
}

void unregisterClasses()
{
    for (const wchar_t* name : {kMainWindowClass, kDirectMessageWindowClass, kToastWindowClass}) {
        ::UnregisterClassW(name, instance());
    }
}

void resetInterfaceState()
{
    ClientState& state = clientState();
    state.connected = false;
    state.shuttingDown = false;  // lets the next stopSession run again
    state.uiTheme = 0;
    state.uiLanguage = 0;
    state.activePage = pageRoomChat;
    state.setUsername("");
    workspaceState().roomMessageFocusRequest = false;
    workspaceState().identityInput.clear();
}

// The real main window made from the real class, without the renderer: what
// start-up does before Direct3D (brushes, classes, the window and its hidden
// controls).
class MainWindowProcedure : public ::testing::Test {
protected:
    void SetUp() override
    {
        VelmorTest::deleteSettingsKey();
        resetInterfaceState();
        createThemeBrushes();
        ASSERT_TRUE(registerWindowClasses(instance()));
        window = ::CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                                   800, 600, nullptr, nullptr, instance(), nullptr);
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(mainWindowHandle(), window);
        pump();
    }
    void TearDown() override
    {
        for (HWND conversation = ::FindWindowW(kDirectMessageWindowClass, nullptr); conversation;
             conversation = ::FindWindowW(kDirectMessageWindowClass, nullptr)) {
            ::DestroyWindow(conversation);
        }
        if (::IsWindow(window)) ::DestroyWindow(window);
        pump();
        unregisterClasses();
        VelmorTest::deleteSettingsKey();
        resetInterfaceState();
    }

    LRESULT command(int id, int notification = 0)
    {
        return ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(id, notification),
                              reinterpret_cast<LPARAM>(::GetDlgItem(window, id)));
    }
    HWND child(int id) const { return ::GetDlgItem(window, id); }
    std::wstring pageTitle() const { return windowText(child(idPageTitleLabel)); }

    HWND window = nullptr;
    VelmorTest::PromptRecorder prompts;
};

TEST_F(MainWindowProcedure, CreationBuildsTheHiddenControlsAndStartsOnRoomChat)
{
    EXPECT_EQ(windowText(window), L"Velmor Chat \u2014 Studio");
    EXPECT_EQ(::GetMenu(window), nullptr);
    for (const int id : {idUserNameBox, idConnectButton, idTranscriptBox, idRoomMessageBox, idOnlineUsersList,
                         idRoomListView, idLanguageCombo, idThemeCombo, idLogViewBox, idPageTitleLabel}) {
        const HWND control = child(id);
        ASSERT_NE(control, nullptr) << id;
        EXPECT_FALSE(::IsWindowVisible(control)) << id;
    }
    EXPECT_EQ(clientState().activePage, pageRoomChat);
    EXPECT_EQ(pageTitle(), L"Room chat");
    EXPECT_EQ(logLinesWith(L"[INFO] Application started"), 1u);
}

TEST_F(MainWindowProcedure, NavigationCommandsSelectPagesAndTitles)
{
    const struct {
        int id;
        WorkspacePageId page;
        const wchar_t* title;
    } pages[] = {{1021, pageRoomChat, L"Room chat"},         {1022, pagePeople, L"People online"},
                 {1023, pageFriends, L"Friends"},            {1024, pageRecent, L"Recently active"},
                 {1025, pageRooms, L"Rooms & players"},      {1026, pageSettings, L"Settings & notifications"},
                 {1028, pageDiagnostics, L"Diagnostics & logs"}};
    for (const auto& expected : pages) {
        EXPECT_EQ(command(expected.id), 0);
        EXPECT_EQ(clientState().activePage, expected.page) << expected.id;
        EXPECT_EQ(pageTitle(), expected.title) << expected.id;
    }

    // Setting the room message box's text sends its id with EN_CHANGE: no
    // page change, no focus request. Ctrl+L's command (accelerator code 1):
    // back to room chat, and the message box wants the focus.
    command(idNavRooms);
    workspaceState().roomMessageFocusRequest = false;
    ::SetWindowTextW(child(idRoomMessageBox), L"typed on a page");
    command(idRoomMessageBox);  // a menu's code, not the accelerator's
    EXPECT_EQ(clientState().activePage, pageRooms);
    EXPECT_FALSE(workspaceState().roomMessageFocusRequest);
    command(idRoomMessageBox, 1);
    EXPECT_EQ(clientState().activePage, pageRoomChat);
    EXPECT_EQ(pageTitle(), L"Room chat");
    EXPECT_TRUE(workspaceState().roomMessageFocusRequest);
}

TEST_F(MainWindowProcedure, UnknownCommandsDoNothingAndReturnZero)
{
    command(idNavFriends);
    const std::size_t logSize = DiagnosticLog::snapshot().size();
    const std::wstring transcript = ActivityTranscript::text();
    for (const int id : {4242, 1001, 1003, 1040, 7003, 7005}) {
        EXPECT_EQ(command(id), 0) << id;
        EXPECT_EQ(command(id, EN_CHANGE), 0) << id;
    }
    EXPECT_EQ(clientState().activePage, pageFriends);
    EXPECT_EQ(pageTitle(), L"Friends");
    EXPECT_EQ(DiagnosticLog::snapshot().size(), logSize);
    EXPECT_EQ(ActivityTranscript::text(), transcript);
    EXPECT_TRUE(prompts.prompts().empty());
}

TEST_F(MainWindowProcedure, RefreshWhileOfflineSaysSoAndSendsNothing)
{
    const std::size_t sent = logLinesWith(L"WS TX");
    command(idRefreshButton);
    EXPECT_EQ(lastTranscriptLine(), L"Refresh failed: not connected to the server.");
    EXPECT_EQ(logLinesWith(L"WS TX"), sent);
}

TEST_F(MainWindowProcedure, TheSoundBoxStoresNotificationSound)
{
    const HWND box = child(idNotificationSoundCheck);
    ASSERT_NE(box, nullptr);
    ::SendMessageW(box, BM_SETCHECK, BST_UNCHECKED, 0);
    command(idNotificationSoundCheck, BN_CLICKED);
    EXPECT_FALSE(clientState().notificationSound);
    EXPECT_EQ(storedDword(L"NotificationSound"), 0u);

    ::SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
    command(idNotificationSoundCheck, 0xFFFF);  // not a click: nothing
    EXPECT_FALSE(clientState().notificationSound);
    command(idNotificationSoundCheck, BN_CLICKED);
    EXPECT_TRUE(clientState().notificationSound);
    EXPECT_EQ(storedDword(L"NotificationSound"), 1u);
}

TEST_F(MainWindowProcedure, TheLanguageBoxStoresReappliesAndLogs)
{
    const HWND combo = child(idLanguageCombo);
    ASSERT_NE(combo, nullptr);
    const struct {
        int selection;
        int language;
        const wchar_t* connect;
        const wchar_t* line;
    } cases[] = {{2, 2, L"Se connecter", L"[INFO] UI language changed to French"},
                 {3, 3, L"Conectar", L"[INFO] UI language changed to Spanish"},
                 {1, 1, L"\u0627\u062A\u0635\u0627\u0644", L"[INFO] UI language changed to Arabic"},
                 {-1, 0, L"Connect", L"[INFO] UI language changed to English"}};  // no selection: English
    for (const auto& expected : cases) {
        ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(expected.selection), 0);
        const std::size_t lines = logLinesWith(expected.line);
        command(idLanguageCombo, CBN_SELCHANGE);
        EXPECT_EQ(clientState().uiLanguage, expected.language);
        EXPECT_EQ(storedDword(L"UiLanguage"), static_cast<DWORD>(expected.language));
        EXPECT_EQ(windowText(child(idConnectButton)), expected.connect);
        EXPECT_EQ(logLinesWith(expected.line), lines + 1);
    }
}

TEST_F(MainWindowProcedure, TheThemeBoxStoresAndLogs)
{
    const HWND combo = child(idThemeCombo);
    ASSERT_NE(combo, nullptr);
    const struct {
        int selection;
        int theme;
        const wchar_t* line;
    } cases[] = {{2, 2, L"[INFO] Theme changed to Light Canvas"},
                 {1, 1, L"[INFO] Theme changed to Midnight Blue"},
                 {-1, 0, L"[INFO] Theme changed to Graphite Dark"}};
    for (const auto& expected : cases) {
        ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(expected.selection), 0);
        const std::size_t lines = logLinesWith(expected.line);
        command(idThemeCombo, CBN_SELCHANGE);
        EXPECT_EQ(clientState().uiTheme, expected.theme);
        EXPECT_EQ(storedDword(L"UiTheme"), static_cast<DWORD>(expected.theme));
        EXPECT_EQ(logLinesWith(expected.line), lines + 1);
    }
    // The class background follows the theme: never a deleted brush.
    EXPECT_EQ(reinterpret_cast<HBRUSH>(::GetClassLongPtrW(window, GCLP_HBRBACKGROUND)), themeBrush(0));
}

TEST_F(MainWindowProcedure, QuickNavigationOffersThePagesAndRefresh)
{
    command(idNavFriends);
    prompts.queueMenuChoice(0);  // Escape
    command(idQuickNavigation);
    ASSERT_EQ(prompts.count(RecordedPrompt::popupMenu), 1u);
    EXPECT_EQ(prompts.prompts().back().owner, window);
    EXPECT_EQ(prompts.prompts().back().text,
              L"1021:Chat\n1022:People online\n1023:Friends\n1024:Recent activity\n1025:Rooms\n1026:Settings\n"
              L"1028:Debug Console\n-\n1007:Refresh presence and rooms\n");
    EXPECT_EQ(clientState().activePage, pageFriends);

    prompts.queueMenuChoice(1028);
    command(idQuickNavigation);
    EXPECT_EQ(clientState().activePage, pageDiagnostics);
    EXPECT_EQ(pageTitle(), L"Diagnostics & logs");

    prompts.queueMenuChoice(1007);  // behaves like F5
    const std::size_t sent = logLinesWith(L"WS TX");
    command(idQuickNavigation);
    EXPECT_EQ(lastTranscriptLine(), L"Refresh failed: not connected to the server.");
    EXPECT_EQ(logLinesWith(L"WS TX"), sent);
}

TEST_F(MainWindowProcedure, TheLogViewIsRebuiltOnlyOnTheDiagnosticsPage)
{
    const HWND view = child(idLogViewBox);
    ASSERT_NE(view, nullptr);
    command(idNavPeople);
    DiagnosticLog::write(kLevelInfo, L"written on the people page");
    pump();  // delivers logChanged
    EXPECT_EQ(controlText(view).find(L"written on the people page"), std::wstring::npos);

    command(idNavDiagnostics);
    DiagnosticLog::write(kLevelInfo, L"written on the diagnostics page");
    pump();
    const std::wstring shown = controlText(view);
    EXPECT_NE(shown.find(L"written on the diagnostics page"), std::wstring::npos);
    EXPECT_NE(shown.find(L"written on the people page"), std::wstring::npos);  // rebuilt from the whole log
}

TEST_F(MainWindowProcedure, RosterRowsAre27PixelsHigh)
{
    for (const int id : {idOnlineUsersList, idFriendsList, idRecentUsersList, idRoomMembersList}) {
        MEASUREITEMSTRUCT item = {};
        item.CtlType = ODT_LISTBOX;
        item.CtlID = static_cast<UINT>(id);
        item.itemHeight = 5;
        EXPECT_EQ(::SendMessageW(window, WM_MEASUREITEM, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&item)),
                  TRUE);
        EXPECT_EQ(item.itemHeight, 27u) << id;
    }
    for (const int id : {idConnectButton, idRoomListView, idLogViewBox}) {
        MEASUREITEMSTRUCT item = {};
        item.CtlType = ODT_BUTTON;
        item.CtlID = static_cast<UINT>(id);
        item.itemHeight = 5;
        EXPECT_EQ(::SendMessageW(window, WM_MEASUREITEM, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&item)), 0);
        EXPECT_EQ(item.itemHeight, 5u) << id;
    }
}

TEST_F(MainWindowProcedure, TheRoomListIsCustomDrawnInThePaletteColours)
{
    NMLVCUSTOMDRAW draw = {};
    draw.nmcd.hdr.hwndFrom = child(idRoomListView);
    draw.nmcd.hdr.idFrom = idRoomListView;
    draw.nmcd.hdr.code = NM_CUSTOMDRAW;
    const auto notify = [&] {
        return ::SendMessageW(window, WM_NOTIFY, idRoomListView, reinterpret_cast<LPARAM>(&draw));
    };
    draw.nmcd.dwDrawStage = CDDS_PREPAINT;
    EXPECT_EQ(notify(), CDRF_NOTIFYITEMDRAW);
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    EXPECT_EQ(notify(), CDRF_NEWFONT);
    EXPECT_EQ(draw.clrText, RGB(0xEC, 0xF2, 0xFA));    // Graphite Dark role 8
    EXPECT_EQ(draw.clrTextBk, RGB(0x1D, 0x21, 0x29));  // role 5

    clientState().uiTheme = 2;
    EXPECT_EQ(notify(), CDRF_NEWFONT);
    EXPECT_EQ(draw.clrText, RGB(0x1F, 0x2B, 0x3B));  // Light Canvas
    EXPECT_EQ(draw.clrTextBk, RGB(0xF6, 0xF8, 0xFB));

    // Custom draw from any other control is not answered.
    draw.nmcd.hdr.idFrom = idOnlineUsersList;
    draw.nmcd.dwDrawStage = CDDS_PREPAINT;
    EXPECT_EQ(::SendMessageW(window, WM_NOTIFY, idOnlineUsersList, reinterpret_cast<LPARAM>(&draw)), 0);
}

TEST_F(MainWindowProcedure, WorkerMessagesWithoutAPayloadAreIgnored)
{
    const HWND status = child(idConnectionStatusLabel);
    ::SetWindowTextW(status, L"before");
    const std::size_t logSize = DiagnosticLog::snapshot().size();
    EXPECT_EQ(::SendMessageW(window, statusUpdate, 0, 0), 0);
    EXPECT_EQ(::SendMessageW(window, serverText, 0, 0), 0);
    EXPECT_EQ(windowText(status), L"before");
    EXPECT_EQ(DiagnosticLog::snapshot().size(), logSize);

    auto payload = std::make_unique<StatusUpdatePayload>();
    payload->text = L"Connecting to server...";
    ASSERT_TRUE(postToMainWindow(statusUpdate, std::move(payload)));
    pump();
    EXPECT_EQ(windowText(status), L"Connecting to server...");
}

TEST_F(MainWindowProcedure, TheMinimumTrackSizeFollowsTheDpi)
{
    ASSERT_FLOAT_EQ(windowDpiScale(window), 1.0f) << "this test expects the 96 DPI of a fresh prefix";
    MINMAXINFO info = {};
    EXPECT_EQ(::SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 0);
    EXPECT_EQ(info.ptMinTrackSize.x, 680);
    EXPECT_EQ(info.ptMinTrackSize.y, 460);
}

// Keyboard state for the accelerators: the keys given are held down.
class HeldKeys {
public:
    HeldKeys(std::initializer_list<int> keys)
    {
        ::GetKeyboardState(saved_);
        BYTE state[256] = {};
        for (const int key : keys) state[key] = 0x80;
        ::SetKeyboardState(state);
    }
    ~HeldKeys() { ::SetKeyboardState(saved_); }

private:
    BYTE saved_[256] = {};
};

TEST_F(MainWindowProcedure, AcceleratorsWorkInEveryWindowOfTheThreadAndTheLoopStopsTheSession)
{
    clientState().setUsername("me");
    openDirectMessage(L"Peer", true);
    const HWND conversation = directMessageWindowOf(L"Peer");
    ASSERT_NE(conversation, nullptr);
    const DirectMessageWindow* record = directMessageRecord(conversation);
    ASSERT_NE(record, nullptr);
    ::SetFocus(record->inputBox);
    ASSERT_FALSE(clientState().shuttingDown);

    {
        const HeldKeys keys{VK_CONTROL, VK_LCONTROL, VK_SHIFT, VK_LSHIFT};
        ::PostMessageW(record->inputBox, WM_KEYDOWN, 'D', 0x00200001);
        ::PostMessageW(record->inputBox, WM_KEYUP, 'D', 0xC0200001);
        // runMessageLoop translates against the main window for every window.
        ::PostQuitMessage(7);
        EXPECT_EQ(runMessageLoop(), 7);
    }
    EXPECT_EQ(clientState().activePage, pageDiagnostics);  // command 1028 reached the main window

    // A quit that did not come through WM_CLOSE still ends the session (its
    // threads would otherwise end the process at exit) and the window.
    EXPECT_TRUE(clientState().shuttingDown);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(mainWindowHandle(), nullptr);
}

// The real start-up, Direct3D 11 and Dear ImGui included.
class StartedApplication : public ::testing::Test {
protected:
    void SetUp() override
    {
        VelmorTest::deleteSettingsKey();
        resetInterfaceState();
        window = startApplication(instance(), SW_SHOWNORMAL);
        ASSERT_NE(window, nullptr) << "start-up failed: " << prompts.prompts().size() << " boxes";
        pump();
    }
    void TearDown() override
    {
        if (::IsWindow(window)) {
            ::PostMessageW(window, WM_CLOSE, 0, 0);
            exitCode = runMessageLoop();
        }
        pump();
        unregisterClasses();
        VelmorTest::deleteSettingsKey();
        resetInterfaceState();
    }

    HWND window = nullptr;
    int exitCode = -1;
    VelmorTest::PromptRecorder prompts;
};

TEST_F(StartedApplication, OpensWithTheWorkspaceAndClosesWithExitCodeZero)
{
    EXPECT_TRUE(prompts.prompts().empty());
    EXPECT_EQ(::GetMenu(window), nullptr);
    ASSERT_NE(ImGui::GetCurrentContext(), nullptr);
    EXPECT_EQ(ImGui::GetIO().IniFilename, nullptr);
    const int frames = ImGui::GetFrameCount();
    ::SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));  // something to draw
    ::SendMessageW(window, WM_TIMER, kFrameTimerId, 0);
    EXPECT_EQ(ImGui::GetFrameCount(), frames + 1);

    ::PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(runMessageLoop(), 0);
    EXPECT_FALSE(::IsWindow(window));
    EXPECT_EQ(ImGui::GetCurrentContext(), nullptr);
    EXPECT_EQ(logLinesWith(L"[INFO] Application shutting down"), 1u);
}

struct NestedTick {
    HWND window = nullptr;
    bool inside = false;
    int delivered = 0;
    int framesBefore = -1;
    int framesAfter = -1;
};

// Runs inside the toolkit's new frame: the frame timer arrives there the way
// a modal loop during a frame would deliver it.
void deliverTickInsideFrame(ImGuiContext*, ImGuiContextHook* hook)
{
    auto& tick = *static_cast<NestedTick*>(hook->UserData);
    if (tick.inside || tick.delivered > 0) return;
    tick.inside = true;
    tick.framesBefore = ImGui::GetFrameCount();
    ::SendMessageW(tick.window, WM_TIMER, kFrameTimerId, 0);
    tick.framesAfter = ImGui::GetFrameCount();
    ++tick.delivered;
    tick.inside = false;
}

TEST_F(StartedApplication, AFrameTimerTickDuringAFrameIsSkipped)
{
    NestedTick tick;
    tick.window = window;
    ImGuiContextHook hook;
    hook.Type = ImGuiContextHookType_NewFramePost;
    hook.Callback = &deliverTickInsideFrame;
    hook.UserData = &tick;
    const ImGuiID hookId = ImGui::AddContextHook(ImGui::GetCurrentContext(), &hook);

    const int frames = ImGui::GetFrameCount();
    ::SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(10, 10));  // something to draw
    ::SendMessageW(window, WM_TIMER, kFrameTimerId, 0);
    ImGui::RemoveContextHook(ImGui::GetCurrentContext(), hookId);
    ASSERT_EQ(tick.delivered, 1);
    EXPECT_EQ(tick.framesAfter, tick.framesBefore) << "a frame was begun inside a frame";
    EXPECT_EQ(ImGui::GetFrameCount(), frames + 1);

    ::SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(12, 12));
    ::SendMessageW(window, WM_TIMER, kFrameTimerId, 0);  // the next tick draws again
    EXPECT_EQ(ImGui::GetFrameCount(), frames + 2);
}

// Minimised, a tick builds no frame and the buffers keep their size;
// restored, and moved to the rectangle a DPI change suggests, the next frame
// is built at the window's new client size.
TEST_F(StartedApplication, MinimisedNothingIsDrawnAndAfterRestoreOrADpiChangeFramesFitTheWindow)
{
    const auto tickDrawsAtClientSize = [&] {
        const int frames = ImGui::GetFrameCount();
        ::SendMessageW(window, WM_TIMER, kFrameTimerId, 0);
        RECT client = {};
        ::GetClientRect(window, &client);
        EXPECT_EQ(ImGui::GetFrameCount(), frames + 1);
        EXPECT_EQ(ImGui::GetIO().DisplaySize.x, static_cast<float>(client.right));
        EXPECT_EQ(ImGui::GetIO().DisplaySize.y, static_cast<float>(client.bottom));
    };
    ::ShowWindow(window, SW_MINIMIZE);
    pump();
    ASSERT_TRUE(::IsIconic(window));
    ::SendMessageW(window, WM_SIZE, SIZE_MINIMIZED, 0);
    const int minimisedFrames = ImGui::GetFrameCount();
    ::SendMessageW(window, WM_TIMER, kFrameTimerId, 0);
    EXPECT_EQ(ImGui::GetFrameCount(), minimisedFrames);
    ::Sleep(200);  // and the frame timer rests meanwhile
    MSG due = {};
    EXPECT_FALSE(::PeekMessageW(&due, window, WM_TIMER, WM_TIMER, PM_NOREMOVE) && due.wParam == kFrameTimerId);

    ::ShowWindow(window, SW_RESTORE);
    pump();
    ASSERT_FALSE(::IsIconic(window));
    tickDrawsAtClientSize();

    RECT suggested = {60, 40, 60 + 1180, 40 + 820};
    EXPECT_EQ(::SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested)), 0);
    pump();
    RECT placed = {};
    ::GetWindowRect(window, &placed);
    EXPECT_EQ(placed.left, suggested.left);
    EXPECT_EQ(placed.top, suggested.top);
    EXPECT_EQ(placed.right - placed.left, suggested.right - suggested.left);
    EXPECT_EQ(placed.bottom - placed.top, suggested.bottom - suggested.top);
    tickDrawsAtClientSize();
}

// The frame timer builds a frame only when something may have changed: each
// kind of change is drawn by the next tick, an idle window builds nothing, a
// focused text box redraws at its cursor's rate and a covered window builds
// nothing until it shows again.
TEST_F(StartedApplication, FramesAreBuiltOnlyWhenSomethingMayHaveChanged)
{
    // Frame-timer ticks for `ms` of real time, with `each` done before each
    // tick; the frames built.
    const auto ticksFor = [&](int ms, const std::function<void()>& each = {}) {
        const int before = ImGui::GetFrameCount();
        for (const ULONGLONG end = ::GetTickCount64() + ms; ::GetTickCount64() < end;) {
            pump();
            if (each) each();
            ::SendMessageW(window, WM_TIMER, kFrameTimerId, 0);
            ::Sleep(16);
        }
        return ImGui::GetFrameCount() - before;
    };
    const auto tick = [&] {
        const int before = ImGui::GetFrameCount();
        ::SendMessageW(window, WM_TIMER, kFrameTimerId, 0);
        return ImGui::GetFrameCount() - before;
    };
    // Ticks until one builds nothing (however long frames take here).
    const auto settle = [&] {
        for (const ULONGLONG end = ::GetTickCount64() + 30000; ::GetTickCount64() < end; ::Sleep(16)) {
            pump();
            if (tick() == 0) return true;
        }
        return false;
    };
    ASSERT_TRUE(settle());
    ASSERT_EQ(ticksFor(1000), 0) << "an idle window builds frames";
    // Resting, the frame timer does not even tick; a change starts it again.
    const auto frameTimerDue = [&] {
        MSG due = {};
        return ::PeekMessageW(&due, window, WM_TIMER, WM_TIMER, PM_NOREMOVE) && due.wParam == kFrameTimerId;
    };
    ::Sleep(200);
    EXPECT_FALSE(frameTimerDue()) << "the frame timer ticks while nothing is to be drawn";
    ::SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(650, 520));
    bool restarted = false;
    for (const ULONGLONG end = ::GetTickCount64() + 10000; !restarted && ::GetTickCount64() < end; ::Sleep(10)) {
        restarted = frameTimerDue();
    }
    EXPECT_TRUE(restarted) << "a change did not start the frame timer";
    ASSERT_TRUE(settle());

    // A hidden roster list box refilled whole reports each deleted item to
    // the window; nothing drawn changes, and the window answers each report.
    const HWND online = ::GetDlgItem(window, idOnlineUsersList);
    for (const wchar_t* prefix : {L"First", L"Second"}) {
        NameList names;
        for (int i = 0; i < 300; ++i) names.push_back(prefix + std::to_wstring(i));
        fillRosterListBox(online, names);
    }
    EXPECT_EQ(::SendMessageW(online, LB_GETCOUNT, 0, 0), 300);
    EXPECT_EQ(tick(), 0) << "refilling a hidden list box was drawn";
    DELETEITEMSTRUCT deleted = {ODT_LISTBOX, idOnlineUsersList, 0, online, 0};
    EXPECT_EQ(::SendMessageW(window, WM_DELETEITEM, idOnlineUsersList, reinterpret_cast<LPARAM>(&deleted)), TRUE);

    const HWND themeCombo = ::GetDlgItem(window, idThemeCombo);
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"a key press", [&] {
             ::SendMessageW(window, WM_KEYDOWN, VK_DOWN, 1);
             ::SendMessageW(window, WM_KEYUP, VK_DOWN, 0xC0000001);
         }},
        {"a click", [&] {
             ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(700, 600));
             ::SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(700, 600));
         }},
        {"a room line", [] {
             postToMainWindow(serverText, std::make_unique<ServerMessage>(readServerMessage(
                                              R"({"type":"message","room":"Lobby","username":"Ann","text":"hi"})")));
             pump();
         }},
        {"a status change", [] {
             auto payload = std::make_unique<StatusUpdatePayload>();
             payload->text = L"Connecting to server...";
             postToMainWindow(statusUpdate, std::move(payload));
             pump();
         }},
        {"a theme change", [&] {
             ::SendMessageW(themeCombo, CB_SETCURSEL, 1, 0);
             ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(idThemeCombo, CBN_SELCHANGE),
                            reinterpret_cast<LPARAM>(themeCombo));
         }},
    };
    for (const auto& [what, change] : changes) {
        EXPECT_EQ(tick(), 0) << "before " << what;
        change();
        EXPECT_EQ(tick(), 1) << what << " was not drawn by the next tick";
        EXPECT_TRUE(settle());
    }
    EXPECT_EQ(clientState().uiTheme, 1);

    // Covered: the frame that finds out is the last one, whatever arrives.
    Renderer::reportOccludedForTests(true);
    ::SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(600, 500));
    EXPECT_EQ(tick(), 1);
    int x = 600;
    EXPECT_EQ(ticksFor(1000, [&] { ::SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(++x, 500)); }), 0);
    Renderer::reportOccludedForTests(false);
    EXPECT_EQ(tick(), 0);  // this tick asks the swap chain
    EXPECT_EQ(tick(), 1);
    EXPECT_TRUE(settle());

    // A focused text box: frames when its cursor blinks (every 0.4 or 0.8 s),
    // not every tick.
    workspaceState().identityFocusRequest = true;
    ::SendMessageW(window, WM_MOUSEMOVE, 0, MAKELPARAM(600, 500));
    EXPECT_EQ(tick(), 1);
    settle();
    ASSERT_TRUE(ImGui::GetIO().WantTextInput) << "the identity box did not take the keyboard";
    const int blinking = ticksFor(3600);
    EXPECT_GE(blinking, 2);
    EXPECT_LE(blinking, 12);
}

// Scales below 75 % and above 300 % are clamped; an unknown DPI counts as 96.
TEST(DpiScale, IsTheDpiOver96ClampedToThreeQuartersAndThree)
{
    const struct {
        unsigned dpi;
        float scale;
    } cases[] = {{0, 1.0f}, {48, 0.75f}, {72, 0.75f}, {96, 1.0f}, {120, 1.25f}, {144, 1.5f}, {192, 2.0f},
                 {288, 3.0f}, {480, 3.0f}};
    for (const auto& each : cases) EXPECT_FLOAT_EQ(clampedDpiScale(each.dpi), each.scale) << each.dpi << " DPI";
}

TEST(StartupFailure, AMainClassThatCannotBeRegisteredEndsWithABoxAndExitCodeOne)
{
    // A class of the same name already registered by this module makes the
    // registration fail the way a refused one does.
    WNDCLASSEXW squatter = {};
    squatter.cbSize = sizeof(squatter);
    squatter.lpfnWndProc = ::DefWindowProcW;
    squatter.hInstance = instance();
    squatter.lpszClassName = kMainWindowClass;
    ASSERT_NE(::RegisterClassExW(&squatter), 0);
    VelmorTest::deleteSettingsKey();
    VelmorTest::PromptRecorder prompts;

    EXPECT_EQ(runApplication(instance(), SW_SHOWNORMAL), 1);
    ASSERT_EQ(prompts.prompts().size(), 1u);
    const RecordedPrompt& box = prompts.prompts()[0];
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.text, L"Could not register the application window class.");
    EXPECT_EQ(box.caption, L"Velmor Chat \u2014 Studio");
    EXPECT_EQ(box.type, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(mainWindowHandle(), nullptr);
    EXPECT_EQ(themeBrush(0), nullptr);  // what start-up had made is released
    unregisterClasses();
}

}  // namespace
