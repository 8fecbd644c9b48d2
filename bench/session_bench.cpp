// Measures the session core's interface-thread work on large inputs: a
// 10,000-name users_list snapshot, a presence delta against a 10,000-name
// list, and room messages dispatched into a full 180,000-character transcript.
// The snapshot figures come in three parts: parsing alone, the list rules
// alone (no main window, so nothing is refilled), and the whole dispatch with
// list boxes made as the main window makes its own (owner-drawn, hidden, the
// interface font, the player menu's subclass). Every case prints a line when it starts and its figures
// when it ends. Run it through bench/session_bench.sh (its own Wine prefix
// and Xvfb), or under Wine with an X display:
//   wine build/windows/bin/session_bench.exe [--long] [names]
// --long repeats every case more often (see Counts); `names` changes the
// roster size (default 10,000). Without a display Wine cannot make the
// window, and the transcript (which only grows while its box exists) could
// never be filled: the benchmark then stops at once with an error.
#include "bench_report.h"
#include "diagnostics/diagnostic_log.h"
#include "json/json_value.h"
#include "platform/app_messages.h"
#include "session/presence.h"
#include "session/server_events.h"
#include "ui/control_ids.h"
#include "ui/native_surface.h"
#include "ui/roster_list_box.h"

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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
    if (message == WM_DELETEITEM) return TRUE;  // as the main window answers it
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
        // The roster list boxes carry the player menu's subclass, as the client's do.
        if (child.style == kRosterListStyle) installRosterListSubclass(control);
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

// How often each case repeats.
struct Counts {
    int parses;           // parsing alone, list rules alone
    int changedSnapshots; // alternating snapshots that differ in every name (even: ends as the first)
    int sameSnapshots;    // the unchanged snapshot
    int deltas;           // presence deltas against the full list
    int messages;         // room messages into the full transcript
    int lines;            // log lines alone, transcript lines alone
    int syncsOne;         // box updates after one line
    int syncsBurst;       // box updates after 100 lines
};

constexpr Counts kDefaultCounts = {10, 10, 10, 20, 2000, 500, 20, 5};
constexpr Counts kLongCounts = {50, 50, 50, 200, 20000, 5000, 100, 25};

// A first snapshot of new names, then alternating snapshots that differ in
// every name (the worst case: both lists change), then the same snapshot
// again, then small deltas against the full list.
void measureSnapshots(ClientState& state, int names, const Counts& counts)
{
    state.onlineUsers.clear();
    state.recentUsers.clear();
    const std::string first = usersList(names, 0);
    const std::string second = usersList(names, names / 2);
    {
        Bench::Case report("users_list of %d new names (first snapshot), once", names);
        report.end("%.1f ms", averageMilliseconds(1, [&](int) { dispatchServerText(state, first); }));
    }
    {
        Bench::Case report("users_list of %d names, every name changed, %d times", names, counts.changedSnapshots);
        report.end("%.1f ms each", averageMilliseconds(counts.changedSnapshots, [&](int i) {
                       dispatchServerText(state, i % 2 ? first : second);
                   }));
    }
    {
        // What the interface thread does once the worker has read them.
        std::vector<ServerMessage> read;
        for (int i = 0; i < counts.changedSnapshots; ++i) read.push_back(readServerMessage(i % 2 ? first : second));
        Bench::Case report("users_list of %d names, every name changed, read on the worker: interface thread, %d times",
                           names, counts.changedSnapshots);
        report.end("%.1f ms each", averageMilliseconds(counts.changedSnapshots, [&](int i) {
                       dispatchServerMessage(state, read[static_cast<std::size_t>(i)]);
                   }));
    }
    {
        Bench::Case report("users_list of %d names, unchanged, %d times", names, counts.sameSnapshots);
        report.end("%.1f ms each",
                   averageMilliseconds(counts.sameSnapshots, [&](int) { dispatchServerText(state, first); }));
    }
    dispatchServerText(state, first);
    {
        Bench::Case report("presence_delta (one leaves, one arrives) against %d names, %d times", names, counts.deltas);
        report.end("%.2f ms each", averageMilliseconds(counts.deltas, [&](int i) {
                       const std::string name = "\"Arrival" + std::to_string(i) + "\"";
                       dispatchServerText(state, R"({"type":"presence_delta","went_online":[)" + name +
                                                     R"(],"went_offline":["Player)" + std::to_string(i) + R"("]})");
                   }));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const bool longRun = Bench::hasFlag(argc, argv, "--long");
    const Counts& counts = longRun ? kLongCounts : kDefaultCounts;
    int names = 10000;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) != "--long") names = std::atoi(argv[i]);
    }
    if (names < 2) {
        std::fprintf(stderr, "usage: session_bench [--long] [names, at least 2]\n");
        return 2;
    }
    Bench::say("session_bench: %d names, %s counts (--long repeats every case more often)\n", names,
               longRun ? "long" : "default");
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", temp);
    ClientState& state = clientState();
    state.setUsername("bench");
    // Made now so that a missing display fails before any measuring; it
    // becomes the main window only for the cases that use it.
    const HWND mainWindow = makeMainWindow();
    if (!mainWindow || !::GetDlgItem(mainWindow, idTranscriptBox)) {
        std::fprintf(stderr,
                     "session_bench: could not create the window and its controls (error %lu); under Wine this"
                     " needs an X display: run bench/session_bench.sh, or set DISPLAY\n",
                     static_cast<unsigned long>(::GetLastError()));
        return 1;
    }

    const std::string snapshot = usersList(names, 0);
    {
        Bench::Case report("users_list of %d names: parsing alone, %d times", names, counts.parses);
        report.end("%.1f ms each",
                   averageMilliseconds(counts.parses, [&](int) { (void)parseJsonDocument(snapshot); }));
    }
    const auto parsed = parseJsonDocument(snapshot);
    {
        Bench::Case report("users_list of %d names: list rules alone (parsed, new names), %d times", names,
                           counts.parses);
        report.end("%.1f ms each", averageMilliseconds(counts.parses, [&](int i) {
                       state.onlineUsers.clear();
                       state.recentUsers.clear();
                       if (i % 2) state.onlineUsers.push_back(L"someone else");
                       applyUsersList(state, *parsed);
                   }));
    }

    // No main window: only the parsing and the list rules.
    Bench::say("dispatch without a main window (parsing and list rules):\n");
    measureSnapshots(state, names, counts);
    // With the main window's controls: the list boxes are refilled too.
    Bench::say("dispatch with the main window's list boxes (owner-drawn, hidden):\n");
    setMainWindowHandle(mainWindow);
    measureSnapshots(state, names, counts);
    {
        NameList a, b;
        for (int i = 0; i < names; ++i) {
            a.push_back(L"Player" + std::to_wstring(i));
            b.push_back(L"Player" + std::to_wstring(i + names / 2));
        }
        const HWND list = ::GetDlgItem(mainWindow, idOnlineUsersList);
        Bench::Case report("online list box alone: %d names, every name changed, %d times", names,
                           counts.changedSnapshots);
        report.end("%.1f ms each", averageMilliseconds(counts.changedSnapshots, [&](int i) {
                       fillRosterListBox(list, i % 2 ? a : b);
                   }));
    }

    // Fill the transcript, then measure room messages into the full one.
    // Trimming keeps it just under the limit, so fill until one more line
    // would pass it.
    {
        Bench::Case report("fill the transcript to %zu characters with room messages",
                           ActivityTranscript::kMaxCharacters);
        int filled = 0;
        while (ActivityTranscript::text().size() + 200 < ActivityTranscript::kMaxCharacters) {
            const std::size_t before = ActivityTranscript::text().size();
            dispatchServerText(state,
                               R"({"type":"message","username":"filler","text":")" + std::string(120, 'x') + "\"}");
            if (ActivityTranscript::text().size() <= before) {
                std::fprintf(stderr, "session_bench: the transcript does not grow\n");
                return 1;
            }
            ++filled;
        }
        report.end("%d messages", filled);
    }
    {
        Bench::Case report("room messages into a full transcript, %d times", counts.messages);
        const double perMessage = averageMilliseconds(counts.messages, [&](int i) {
            dispatchServerText(state, R"({"type":"message","username":"amy","text":"line )" + std::to_string(i) +
                                          R"( of the benchmark, long enough to look like a chat line"})");
        });
        report.end("%zu characters: %.3f ms each, %.0f per second", ActivityTranscript::text().size(), perMessage,
                   1000.0 / perMessage);
    }
    {
        Bench::Case report("of which the log line, %d times", counts.lines);
        report.end("%.3f ms each", averageMilliseconds(counts.lines, [&](int i) {
                       DiagnosticLog::write(kLevelTrace, L"WS RX: message " + std::to_wstring(i));
                   }));
    }
    {
        Bench::Case report("of which the transcript line, %d times", counts.lines);
        report.end("%.3f ms each", averageMilliseconds(counts.lines, [&](int i) {
                       ActivityTranscript::append(L"amy: line " + std::to_wstring(i) +
                                                  L" of the benchmark, long enough to look like a chat line");
                   }));
    }
    // What the frame tick then pays to bring the hidden transcript box up to
    // date: after one new line, and after a burst of 100.
    {
        Bench::Case report("transcript box: first update to the full transcript");
        report.end("%.1f ms", averageMilliseconds(1, [](int) { ActivityTranscript::syncBox(); }));
    }
    {
        Bench::Case report("transcript box update per frame after one line, %d times", counts.syncsOne);
        report.end("%.2f ms each", averageMilliseconds(counts.syncsOne, [&](int i) {
                       ActivityTranscript::append(L"one line " + std::to_wstring(i));
                       ActivityTranscript::syncBox();
                   }));
    }
    {
        Bench::Case report("transcript box update per frame after 100 lines, %d times", counts.syncsBurst);
        report.end("%.2f ms each", averageMilliseconds(counts.syncsBurst, [&](int i) {
                       for (int line = 0; line < 100; ++line) {
                           ActivityTranscript::append(L"burst " + std::to_wstring(i) + L" line " +
                                                      std::to_wstring(line));
                       }
                       ActivityTranscript::syncBox();
                   }));
    }
    return 0;
}
