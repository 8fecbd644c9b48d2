// CPU time per workspace frame with 10 and with 10,000 online users and a
// full transcript, and the client's private memory once it has connected.
// It starts the real client (the same start-up as VelmorChat.exe) and draws
// frames directly. Run it under Wine against the local server, with a name
// stored so that it connects:
//   bench/render_frame_bench.sh
#include "app/main_window.h"
#include "diagnostics/diagnostic_log.h"
#include "platform/app_messages.h"
#include "session/client_state.h"
#include "session/session.h"
#include "ui/workspace_state.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

using namespace Velmor;

namespace {

double threadCpuMilliseconds()
{
    FILETIME created, exited, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME& time) {
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

void pumpFor(DWORD milliseconds)
{
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    MSG message;
    while (::GetTickCount64() < end) {
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
        ::Sleep(5);
    }
}

double privateMegabytes()
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof(counters));
    return static_cast<double>(counters.PrivateUsage) / (1024.0 * 1024.0);
}

double cpuPerFrame(int frames)
{
    renderMainWindowFrame();  // warm-up
    const double start = threadCpuMilliseconds();
    for (int i = 0; i < frames; ++i) renderMainWindowFrame();
    return (threadCpuMilliseconds() - start) / frames;
}

}  // namespace

int wmain()
{
    if (!startApplication(::GetModuleHandleW(nullptr), SW_SHOWNORMAL)) return 1;
    ClientState& state = clientState();
    for (int waited = 0; waited < 300 && !state.connected; ++waited) pumpFor(100);
    pumpFor(2000);  // the first lists arrive
    std::printf("connected: %s\n", state.connected ? "yes" : "no");
    std::printf("private memory after connecting: %.1f MB\n", privateMegabytes());

    while (ActivityTranscript::text().size() + 200 < ActivityTranscript::kMaxCharacters) {
        ActivityTranscript::append(L"amy: a line of room chat to fill the transcript for the benchmark, " +
                                   std::to_wstring(ActivityTranscript::text().size()));
    }
    ActivityTranscript::syncBox();

    for (const int pageCount : {0, 1, 6}) {
        state.activePage = static_cast<WorkspacePageId>(pageCount);
        for (const int users : {10, 10000}) {
            state.onlineUsers.clear();
            for (int i = 0; i < users; ++i) state.onlineUsers.push_back(L"Player" + std::to_wstring(i));
            std::printf("page %d, %5d online users, full transcript: %.2f ms CPU per frame\n", pageCount, users,
                        cpuPerFrame(120));
        }
    }
    std::printf("private memory at the end: %.1f MB\n", privateMegabytes());
    ::PostMessageW(mainWindowHandle(), WM_CLOSE, 0, 0);
    return runMessageLoop();
}
