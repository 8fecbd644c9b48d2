// CPU time per workspace frame with 10 and with 10,000 online users and a
// full transcript, split into building the frame (up to and including
// ImGui::Render) and presenting it (the Direct3D 11 draw and Present), and
// the client's memory once it has connected. It starts the real client (the
// same start-up as VelmorChat.exe) and draws frames directly. Run it under
// Wine against the local server, with a name stored so that it connects:
//   bench/render_frame_bench.sh [--long]
// Each of the six cases (three pages, 10 and 10,000 users) draws
// kDefaultFrames frames, kLongFrames with --long; each prints a line when it
// starts and its figures when it ends.
//
// Under Wine with Xvfb, Present runs Mesa's software renderer, partly on
// threads of its own: the present half is therefore given as this thread's
// CPU time and as the whole process's CPU time. Wine counts thread CPU time
// in 10 ms ticks, so the per-frame CPU figures are averages of whole ticks
// over the case's frames; the wall times are exact.
#include "bench_report.h"
#include "app/main_window.h"
#include "diagnostics/diagnostic_log.h"
#include "platform/app_messages.h"
#include "session/client_state.h"
#include "session/session.h"
#include "ui/workspace_state.h"

#include <windows.h>
#include <psapi.h>

#include <imgui.h>
#include <imgui_internal.h>

#include <cstdio>
#include <string>

using namespace Velmor;

namespace {

constexpr int kDefaultFrames = 120;
constexpr int kLongFrames = 600;
constexpr int kConnectSeconds = 60;

unsigned long long ticks(const FILETIME& time)
{
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

struct CpuClock {
    double thread = 0;   // ms of this thread
    double process = 0;  // ms of every thread of the process
    double wall = 0;     // ms
};

CpuClock now()
{
    FILETIME created, exited, kernel, user;
    CpuClock clock;
    ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
    clock.thread = static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    clock.process = static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    clock.wall = 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
    return clock;
}

// The clock is checked after every message: the frame timer fires every
// 16 ms and a software-rendered frame takes longer, so the queue is never
// empty and draining it first would never return.
void pumpFor(DWORD milliseconds)
{
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    MSG message;
    while (::GetTickCount64() < end) {
        if (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        } else {
            ::Sleep(5);
        }
    }
}

// Wine leaves PrivateUsage at 0. It fills PagefileUsage with the process's
// anonymous memory, resident or swapped (Linux's RssAnon plus VmSwap: the
// private memory the process has touched) and WorkingSetSize with its
// resident memory (VmRSS), so those two are shown.
void printMemory(const char* when)
{
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof(counters));
    constexpr double kMegabyte = 1024.0 * 1024.0;
    Bench::say("memory %s: private (PagefileUsage) %.1f MB, working set (WorkingSetSize) %.1f MB"
               " [PrivateUsage reads %.1f MB]\n",
               when, static_cast<double>(counters.PagefileUsage) / kMegabyte,
               static_cast<double>(counters.WorkingSetSize) / kMegabyte,
               static_cast<double>(counters.PrivateUsage) / kMegabyte);
}

// The moment ImGui::Render returns inside the frame: the end of building.
CpuClock gRendered;
void noteRendered(ImGuiContext*, ImGuiContextHook*) { gRendered = now(); }

struct FrameCosts {
    CpuClock build;
    CpuClock present;
};

FrameCosts measureFrames(int frames)
{
    renderMainWindowFrame();  // warm-up
    FrameCosts total;
    for (int i = 0; i < frames; ++i) {
        const CpuClock start = now();
        renderMainWindowFrame();
        const CpuClock end = now();
        total.build.thread += gRendered.thread - start.thread;
        total.build.process += gRendered.process - start.process;
        total.build.wall += gRendered.wall - start.wall;
        total.present.thread += end.thread - gRendered.thread;
        total.present.process += end.process - gRendered.process;
        total.present.wall += end.wall - gRendered.wall;
    }
    for (CpuClock* part : {&total.build, &total.present}) {
        part->thread /= frames;
        part->process /= frames;
        part->wall /= frames;
    }
    return total;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const bool longRun = Bench::hasFlag(argc, argv, L"--long");
    const int frames = longRun ? kLongFrames : kDefaultFrames;
    Bench::say("render_frame_bench: %d frames a case (--long: %d)\n", frames, kLongFrames);
    ClientState& state = clientState();
    {
        Bench::Case start("start the client and connect to the local server (up to %d s)", kConnectSeconds);
        if (!startApplication(::GetModuleHandleW(nullptr), SW_SHOWNORMAL)) return 1;
        start.figure("started after %.1f s", start.seconds());
        // Bounded by the clock, not by a count of waits: on a loaded machine
        // one software-rendered frame can take longer than a wait.
        const ULONGLONG deadline = ::GetTickCount64() + kConnectSeconds * 1000ull;
        ULONGLONG nextReport = ::GetTickCount64() + 5000;
        while (!state.connected && ::GetTickCount64() < deadline) {
            pumpFor(100);
            if (::GetTickCount64() >= nextReport) {
                start.figure("%.0f s: not connected yet", start.seconds());
                nextReport += 5000;
            }
        }
        pumpFor(2000);  // the first lists arrive
        start.end("connected: %s", state.connected ? "yes" : "no");
    }
    printMemory("after connecting");

    while (ActivityTranscript::text().size() + 200 < ActivityTranscript::kMaxCharacters) {
        ActivityTranscript::append(L"amy: a line of room chat to fill the transcript for the benchmark, " +
                                   std::to_wstring(ActivityTranscript::text().size()));
    }
    ActivityTranscript::syncBox();

    ImGuiContextHook hook;
    hook.Type = ImGuiContextHookType_RenderPost;
    hook.Callback = &noteRendered;
    const ImGuiID hookId = ImGui::AddContextHook(ImGui::GetCurrentContext(), &hook);

    Bench::say("per frame, ms: build (CPU of this thread, wall) | present (CPU of this thread, CPU of the"
               " process, wall)\n");
    for (const int page : {0, 1, 6}) {
        state.activePage = static_cast<WorkspacePageId>(page);
        for (const int users : {10, 10000}) {
            Bench::Case report("page %d, %5d online users, full transcript: %d frames", page, users, frames);
            state.onlineUsers.clear();
            for (int i = 0; i < users; ++i) state.onlineUsers.push_back(L"Player" + std::to_wstring(i));
            const FrameCosts costs = measureFrames(frames);
            report.end("page %d, %5d online users, full transcript: build %.2f CPU, %.2f wall | present %.2f CPU,"
                       " %.2f process CPU, %.2f wall",
                       page, users, costs.build.thread, costs.build.wall, costs.present.thread,
                       costs.present.process, costs.present.wall);
        }
    }
    ImGui::RemoveContextHook(ImGui::GetCurrentContext(), hookId);
    printMemory("at the end");
    ::PostMessageW(mainWindowHandle(), WM_CLOSE, 0, 0);
    return runMessageLoop();
}
