// Measures the session core's interface-thread work on large inputs, with the
// real hidden controls it fills: a 10,000-name users_list snapshot, a presence
// delta against a 10,000-name list, and room messages dispatched into a full
// 180,000-character transcript. Run under Wine:
//   wine build/windows/bin/session_bench.exe
#include "diagnostics/diagnostic_log.h"
#include "session/presence.h"
#include "session/server_events.h"
#include "platform/app_messages.h"
#include "ui/control_ids.h"

#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace Velmor;
using Clock = std::chrono::steady_clock;

namespace {

HWND makeMainWindow()
{
    INITCOMMONCONTROLSEX init = {sizeof(init), ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&init);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VelmorBenchWindow";
    ::RegisterClassExW(&windowClass);
    const HWND window = ::CreateWindowExW(0, L"VelmorBenchWindow", L"bench", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600,
                                         nullptr, nullptr, windowClass.hInstance, nullptr);
    const DWORD listStyle = WS_CHILD | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT;
    const struct {
        int id;
        const wchar_t* className;
        DWORD style;
    } children[] = {
        {idTranscriptBox, L"EDIT", WS_CHILD | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY},
        {idOnlineUsersList, L"LISTBOX", listStyle},
        {idFriendsList, L"LISTBOX", listStyle},
        {idRecentUsersList, L"LISTBOX", listStyle},
        {idRoomMembersList, L"LISTBOX", listStyle},
        {idRoomListView, WC_LISTVIEWW, WS_CHILD | LVS_REPORT},
        {idOnlineCountLabel, L"STATIC", WS_CHILD},
    };
    for (const auto& child : children) {
        ::CreateWindowExW(0, child.className, L"", child.style, 0, 0, 200, 200, window,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(child.id)), nullptr, nullptr);
    }
    setMainWindowHandle(window);
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

}  // namespace

int main(int argc, char** argv)
{
    const int names = argc > 1 ? std::atoi(argv[1]) : 10000;
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", temp);
    makeMainWindow();
    ClientState& state = clientState();
    state.setUsername("bench");

    // A first snapshot of 10,000 new names, then alternating snapshots that
    // differ in every name (the worst case: both lists change).
    const std::string first = usersList(names, 0);
    const std::string second = usersList(names, names / 2);
    const double firstSnapshot = averageMilliseconds(1, [&](int) { dispatchServerText(state, first); });
    const double changedSnapshot =
        averageMilliseconds(10, [&](int i) { dispatchServerText(state, i % 2 ? first : second); });
    const double sameSnapshot = averageMilliseconds(10, [&](int) { dispatchServerText(state, first); });

    dispatchServerText(state, first);
    const double delta = averageMilliseconds(20, [&](int i) {
        const std::string name = "\"Arrival" + std::to_string(i) + "\"";
        dispatchServerText(state, R"({"type":"presence_delta","went_online":[)" + name +
                                      R"(],"went_offline":["Player)" + std::to_string(i) + R"("]})");
    });

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
    std::printf("of which: log line %.3f ms, transcript line %.3f ms\n", logOnly, appendOnly);
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
    std::printf("transcript box update per frame: %.2f ms after one line, %.2f ms after 100 lines\n", syncOne, syncBurst);
    std::printf("users_list of 10,000 new names (first snapshot): %.1f ms\n", firstSnapshot);
    std::printf("users_list of 10,000 names, every name changed: %.1f ms\n", changedSnapshot);
    std::printf("users_list of 10,000 names, unchanged: %.1f ms\n", sameSnapshot);
    std::printf("presence_delta against 10,000 names: %.2f ms\n", delta);
    std::printf("room messages into a full transcript (%zu characters): %.3f ms each, %.0f per second\n",
                ActivityTranscript::text().size(), perMessage, 1000.0 / perMessage);
    return 0;
}
