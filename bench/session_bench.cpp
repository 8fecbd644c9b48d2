// Measures the session core's interface-thread work on large inputs: a
// 10,000-name users_list snapshot, a presence delta against a 10,000-name
// list, and room messages dispatched into a full 180,000-character transcript.
// The snapshot figures come in three parts: parsing alone, the list rules
// alone (no main window, so nothing is refilled), and the whole dispatch with
// list boxes made as the main window makes its own (owner-drawn, hidden, the
// interface font). Run under Wine:
//   wine build/windows/bin/session_bench.exe [names]
#include "diagnostics/diagnostic_log.h"
#include "json/json_value.h"
#include "platform/app_messages.h"
#include "session/presence.h"
#include "session/server_events.h"
#include "ui/control_ids.h"
#include "ui/native_surface.h"

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace Velmor;
using Clock = std::chrono::steady_clock;

namespace {

// As the native surface makes its roster list boxes.
constexpr DWORD kRosterListStyle = WS_CHILD | WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_OWNERDRAWFIXED |
                                   LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT;

LRESULT CALLBACK benchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_MEASUREITEM) {
        reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = kRosterItemHeight;
        return TRUE;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND makeMainWindow()
{
    INITCOMMONCONTROLSEX init = {sizeof(init), ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&init);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = benchWindowProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VelmorBenchWindow";
    ::RegisterClassExW(&windowClass);
    const HWND window = ::CreateWindowExW(0, L"VelmorBenchWindow", L"bench", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600,
                                         nullptr, nullptr, windowClass.hInstance, nullptr);
    const struct {
        int id;
        const wchar_t* className;
        DWORD style;
    } children[] = {
        {idTranscriptBox, L"EDIT", WS_CHILD | WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY},
        {idOnlineUsersList, L"LISTBOX", kRosterListStyle},
        {idFriendsList, L"LISTBOX", kRosterListStyle},
        {idRecentUsersList, L"LISTBOX", kRosterListStyle},
        {idRoomMembersList, L"LISTBOX", kRosterListStyle},
        {idRoomListView, WC_LISTVIEWW, WS_CHILD | LVS_REPORT},
        {idOnlineCountLabel, L"STATIC", WS_CHILD},
    };
    const HFONT font = static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));  // Wine has no Segoe UI
    for (const auto& child : children) {
        const HWND control = ::CreateWindowExW(0, child.className, L"", child.style, 0, 0, 200, 200, window,
                                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(child.id)), nullptr,
                                               nullptr);
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    return window;
}

std::string usersList(int count, int offset)
{
    std::string text = R"({"type":"users_list","users":[)";
    for (int i = 0; i < count; ++i) {
        if (i) text += ',';
        text += "\"Player" + std::to_string(i + offset) + "\"";
    }
    return text + "]}";
}

template <typename Work>
double averageMilliseconds(int runs, Work&& work)
{
    const auto start = Clock::now();
    for (int i = 0; i < runs; ++i) work(i);
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count() / runs;
}

struct SnapshotFigures {
    double first = 0;
    double changed = 0;
    double same = 0;
    double delta = 0;
};

// A first snapshot of new names, then alternating snapshots that differ in
// every name (the worst case: both lists change), then the same snapshot
// again, then small deltas against the full list.
SnapshotFigures measureSnapshots(ClientState& state, int names)
{
    state.onlineUsers.clear();
    state.recentUsers.clear();
    const std::string first = usersList(names, 0);
    const std::string second = usersList(names, names / 2);
    SnapshotFigures figures;
    figures.first = averageMilliseconds(1, [&](int) { dispatchServerText(state, first); });
    figures.changed = averageMilliseconds(10, [&](int i) { dispatchServerText(state, i % 2 ? first : second); });
    figures.same = averageMilliseconds(10, [&](int) { dispatchServerText(state, first); });
    dispatchServerText(state, first);
    figures.delta = averageMilliseconds(20, [&](int i) {
        const std::string name = "\"Arrival" + std::to_string(i) + "\"";
        dispatchServerText(state, R"({"type":"presence_delta","went_online":[)" + name +
                                      R"(],"went_offline":["Player)" + std::to_string(i) + R"("]})");
    });
    return figures;
}

void printSnapshots(const char* title, const SnapshotFigures& figures, int names)
{
    std::printf("%s\n", title);
    std::printf("  users_list of %d new names (first snapshot): %.1f ms\n", names, figures.first);
    std::printf("  users_list of %d names, every name changed: %.1f ms\n", names, figures.changed);
    std::printf("  users_list of %d names, unchanged: %.1f ms\n", names, figures.same);
    std::printf("  presence_delta against %d names: %.2f ms\n", names, figures.delta);
}

}  // namespace

int main(int argc, char** argv)
{
    const int names = argc > 1 ? std::atoi(argv[1]) : 10000;
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", temp);
    ClientState& state = clientState();
    state.setUsername("bench");

    const std::string snapshot = usersList(names, 0);
    const double parseOnly = averageMilliseconds(10, [&](int) { (void)parseJsonDocument(snapshot); });
    const auto parsed = parseJsonDocument(snapshot);
    const double rulesOnly = averageMilliseconds(10, [&](int i) {
        state.onlineUsers.clear();
        state.recentUsers.clear();
        if (i % 2) state.onlineUsers.push_back(L"someone else");
        applyUsersList(state, *parsed);
    });

    // No main window: only the parsing and the list rules.
    const SnapshotFigures bare = measureSnapshots(state, names);
    // With the main window's controls: the list boxes are refilled too.
    setMainWindowHandle(makeMainWindow());
    const SnapshotFigures full = measureSnapshots(state, names);

    // Fill the transcript, then measure room messages into the full one.
    // Trimming keeps it just under the limit, so fill until one more line
    // would pass it.
    while (ActivityTranscript::text().size() + 200 < ActivityTranscript::kMaxCharacters) {
        dispatchServerText(state, R"({"type":"message","username":"filler","text":")" + std::string(120, 'x') + "\"}");
    }
    const int messages = 2000;
    const double perMessage = averageMilliseconds(messages, [&](int i) {
        dispatchServerText(state, R"({"type":"message","username":"amy","text":"line )" + std::to_string(i) +
                                      R"( of the benchmark, long enough to look like a chat line"})");
    });
    const double logOnly = averageMilliseconds(500, [&](int i) {
        DiagnosticLog::write(kLevelTrace, L"WS RX: message " + std::to_wstring(i));
    });
    const double appendOnly = averageMilliseconds(500, [&](int i) {
        ActivityTranscript::append(L"amy: line " + std::to_wstring(i) + L" of the benchmark, long enough to look like a chat line");
    });
    // What the frame tick then pays to bring the hidden transcript box up to
    // date: after one new line, and after a burst of 100.
    ActivityTranscript::syncBox();
    const double syncOne = averageMilliseconds(20, [&](int i) {
        ActivityTranscript::append(L"one line " + std::to_wstring(i));
        ActivityTranscript::syncBox();
    });
    const double syncBurst = averageMilliseconds(5, [&](int i) {
        for (int line = 0; line < 100; ++line) {
            ActivityTranscript::append(L"burst " + std::to_wstring(i) + L" line " + std::to_wstring(line));
        }
        ActivityTranscript::syncBox();
    });

    std::printf("users_list of %d names: parsing alone %.1f ms, list rules alone (parsed, new names) %.1f ms\n", names,
                parseOnly, rulesOnly);
    printSnapshots("dispatch without a main window (parsing and list rules):", bare, names);
    printSnapshots("dispatch with the main window's list boxes (owner-drawn, hidden):", full, names);
    std::printf("room messages into a full transcript (%zu characters): %.3f ms each, %.0f per second\n",
                ActivityTranscript::text().size(), perMessage, 1000.0 / perMessage);
    std::printf("  of which: log line %.3f ms, transcript line %.3f ms\n", logOnly, appendOnly);
    std::printf("transcript box update per frame: %.2f ms after one line, %.2f ms after 100 lines\n", syncOne, syncBurst);
    return 0;
}
