// What building a workspace page costs per frame as the community grows: the
// room chat page (0) and the people page (1) with 10 online users and 10
// rooms against 10,000 users and 1,000 rooms, with the ratio beside the goal
// that the large community costs at most 1.5 times the small one; the people
// page once more with both communities and a roster search set (it matches
// 1,111 of the 10,000 names), with what the search itself costs; and, for
// comparison, the rooms page (4, the one page that reads the room
// list) and the diagnostics page (6); and every page once more with the
// 10,000 users and 1,000 rooms named in Arabic, which the workspace shapes and
// reorders for display, against the same community named in Latin letters
// (goal: at most 1.2 times). It starts the real client (the same
// start-up as VelmorChat.exe), fills the lists by dispatching "users_list"
// and "rooms_list" messages as the server sends them, and draws frames
// directly. Run it under Wine against the local server, with a name stored so
// that it connects:
//   bench/render_frame_bench.sh [--long]
//
// Every page and community is measured twice over:
// - in real frames (renderFrame, as the frame timer draws them), split into
//   building the frame (up to and including ImGui::Render) and presenting it
//   (the Direct3D 11 draw and Present), building split again at the
//   toolkit's hooks (see Stage);
// - building alone, for a fixed time: the first half of renderFrame
//   (back-ends' new frame, style, workspace, Render) without the draw and
//   Present, which under Wine cost a hundred times as much as building.
//   Tens of thousands of these fit in the time of a few real frames, which is
//   what makes their CPU time exact enough to compare: Wine counts thread CPU
//   time in 10 ms ticks, and one frame's building takes well under one.
// The communities are measured in alternation, kRounds rounds each, so that a
// change in the machine's load during the run weighs on all alike; wall
// times are given with their median, because other programs lengthen single
// frames. The first frame after every change of page, lists or search text
// is timed apart: it carries the change's one-off work. The benchmark prints
// a line when it starts measuring, a line per round and community, and the
// figures per page at the end; it never fails on a missed goal.
//
// Under Wine with Xvfb, Present runs Mesa's software renderer, partly on
// threads of its own: the present half is therefore given as this thread's
// CPU time and as the whole process's CPU time.
#include "bench_report.h"
#include "actions/identity.h"
#include "app/dpi.h"
#include "app/main_window.h"
#include "diagnostics/diagnostic_log.h"
#include "platform/app_messages.h"
#include "session/client_state.h"
#include "session/server_events.h"
#include "session/session.h"
#include "ui/control_ids.h"
#include "ui/workspace_frame.h"
#include "ui/workspace_pages.h"
#include "ui/workspace_state.h"

#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <imgui.h>
#include <imgui_impl_dx11.h>
#include <imgui_impl_win32.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace Velmor;

namespace {

struct Counts {
    int realFrames;      // a page and community, over all rounds
    double buildMillis;  // of building alone, likewise
};
constexpr Counts kDefaultCounts = {60, 2000};
constexpr Counts kLongCounts = {300, 10000};
constexpr int kRounds = 4;
constexpr int kConnectSeconds = 60;
constexpr double kGoalRatio = 1.5;
constexpr double kArabicGoalRatio = 1.2;
constexpr int kPages[] = {0, 1, 4, 6};
// Matches Player1, Player10-19, Player100-199 and Player1000-1999 of the
// 10,000 names, ignoring case.
constexpr char kSearch[] = "player1";

unsigned long long ticks(const FILETIME& time)
{
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

double wallNow()
{
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double threadCpuNow()
{
    FILETIME created, exited, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
}

struct CpuClock {
    double thread = 0;   // ms of this thread
    double process = 0;  // ms of every thread of the process
    double wall = 0;     // ms
};

// Reading the CPU clocks takes time of its own (printed at the start): the
// wall clock is read last where a span starts and first where it ends, so
// that the wall times leave it out.
enum class WallRead { last, first };
CpuClock now(WallRead order)
{
    FILETIME created, exited, kernel, user;
    CpuClock clock;
    if (order == WallRead::first) clock.wall = wallNow();
    clock.thread = threadCpuNow();
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    clock.process = static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;
    if (order == WallRead::last) clock.wall = wallNow();
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

double median(std::vector<double> values)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double mean(const std::vector<double>& values)
{
    double sum = 0;
    for (const double value : values) sum += value;
    return values.empty() ? 0 : sum / static_cast<double>(values.size());
}

// The stages of building a real frame, cut at the toolkit's hooks: before
// ImGui::NewFrame (the back-ends' new frame, the DPI scale, the style),
// NewFrame itself, drawing the workspace (header, rail and the page: from
// NewFrame's end to EndFrame's start), and EndFrame with Render (the draw
// lists are finished).
enum Stage { stagePrepare, stageNewFrame, stageDraw, stageRender, stageCount };
const char* const kStageNames[stageCount] = {"prepare", "new frame", "draw workspace", "end frame+render"};

// Wall times of the hooks in the frame being drawn, and the clocks when
// ImGui::Render returned (the end of building), read only in real frames.
bool gRealFrame = false;
double gHookWall[3];
CpuClock gRendered;
void noteNewFramePre(ImGuiContext*, ImGuiContextHook*)
{
    if (gRealFrame) gHookWall[0] = wallNow();
}
void noteNewFramePost(ImGuiContext*, ImGuiContextHook*)
{
    if (gRealFrame) gHookWall[1] = wallNow();
}
void noteEndFramePre(ImGuiContext*, ImGuiContextHook*)
{
    if (gRealFrame) gHookWall[2] = wallNow();
}
void noteRendered(ImGuiContext*, ImGuiContextHook*)
{
    if (gRealFrame) gRendered = now(WallRead::first);
}

struct RealFrame {
    CpuClock build;
    CpuClock present;
    double stages[stageCount] = {};
    int vertices = 0;
};

RealFrame drawRealFrame()
{
    RealFrame frame;
    gRealFrame = true;
    const CpuClock start = now(WallRead::last);
    renderMainWindowFrame();
    const CpuClock end = now(WallRead::first);
    gRealFrame = false;
    frame.build = {gRendered.thread - start.thread, gRendered.process - start.process, gRendered.wall - start.wall};
    frame.present = {end.thread - gRendered.thread, end.process - gRendered.process, end.wall - gRendered.wall};
    frame.stages[stagePrepare] = gHookWall[0] - start.wall;
    frame.stages[stageNewFrame] = gHookWall[1] - gHookWall[0];
    frame.stages[stageDraw] = gHookWall[2] - gHookWall[1];
    frame.stages[stageRender] = gRendered.wall - gHookWall[2];
    if (const ImDrawData* data = ImGui::GetDrawData()) frame.vertices = data->TotalVtxCount;
    return frame;
}

// renderFrame's building half (workspace_frame.cpp) as it stands, without
// the Direct3D draw and Present: the toolkit keeps any texture change for
// the next real frame.
void buildFrameOnly()
{
    const HWND window = mainWindowHandle();
    ImGui_ImplDX11_NewFrame();
    ImGui_ImplWin32_NewFrame();
    const float s = windowDpiScale(window);
    applyFrameStyle(s);
    ImGui::NewFrame();
    RECT client = {};
    ::GetClientRect(window, &client);
    drawWorkspace(window, static_cast<float>(client.right - client.left),
                  static_cast<float>(client.bottom - client.top), s, &applyIdentity);
    ImGui::Render();
}

// One state of the community the pages are drawn with.
struct Community {
    const char* label;
    int users;
    int rooms;
    const char* search;
    bool arabic;
};

// In this order, so that the lists are dispatched twice a round.
const Community kCommunities[] = {
    {"10 users, 10 rooms", 10, 10, nullptr, false},
    {"10/10, search player1", 10, 10, kSearch, false},
    {"10,000 users, 1,000 rooms", 10000, 1000, nullptr, false},
    {"10,000/1,000, search player1", 10000, 1000, kSearch, false},
    {"10,000/1,000 named in Arabic", 10000, 1000, nullptr, true},
};
constexpr int kSmall = 0;
constexpr int kSmallSearched = 1;
constexpr int kLarge = 2;
constexpr int kLargeSearched = 3;
constexpr int kLargeArabic = 4;
constexpr int kCommunityCount = 5;

// The search only shows on the people page.
bool measured(int page, int community)
{
    return page == pagePeople || (community != kSmallSearched && community != kLargeSearched);
}

// Everything measured for one page and community.
struct Costs {
    std::vector<RealFrame> frames;
    std::vector<double> buildOnlyWall;  // ms, each frame
    double buildOnlyCpu = 0;            // ms of this thread, all frames together
    std::vector<double> firstFrameWall;  // build wall of the first real frame after each change

    template <typename Field>
    double average(Field field) const
    {
        std::vector<double> values;
        for (const RealFrame& frame : frames) values.push_back(field(frame));
        return mean(values);
    }
    double buildWallMedian() const
    {
        std::vector<double> values;
        for (const RealFrame& frame : frames) values.push_back(frame.build.wall);
        return median(values);
    }
    double buildOnlyCpuPerFrame() const
    {
        return buildOnlyWall.empty() ? 0 : buildOnlyCpu / static_cast<double>(buildOnlyWall.size());
    }
};

// "Player12", or in Arabic "لاعب 12" ("player 12"): letters that join,
// a lam-alef, and a number in a right-to-left name.
const char kArabicPlayer[] = "\xD9\x84\xD8\xA7\xD8\xB9\xD8\xA8 ";
const char kArabicRoom[] = "\xD8\xBA\xD8\xB1\xD9\x81\xD8\xA9 ";  // "غرفة " ("room ")

std::string usersListMessage(int users, bool arabic)
{
    std::string text = "{\"type\":\"users_list\",\"users\":[";
    for (int i = 0; i < users; ++i) {
        if (i) text += ',';
        text += "\"" + std::string(arabic ? kArabicPlayer : "Player") + std::to_string(i) + "\"";
    }
    return text + "]}";
}

// As the server lists rooms: creation order, {name, game, host, players,
// max_players}.
std::string roomsListMessage(int rooms, bool arabic)
{
    std::string text = "{\"type\":\"rooms_list\",\"rooms\":[";
    const std::string room = arabic ? kArabicRoom : "Room";
    const std::string player = arabic ? kArabicPlayer : "Player";
    for (int i = 0; i < rooms; ++i) {
        if (i) text += ',';
        text += "{\"name\":\"" + room + std::to_string(i) + "\",\"game\":\"Stronghold Crusader\",\"host\":\"" + player +
                std::to_string(i) + "\",\"players\":" + std::to_string(1 + i % 8) + ",\"max_players\":8}";
    }
    return text + "]}";
}

// Brings the client to `community`: the lists through the dispatch of the
// server's messages when they differ from the ones last dispatched, the
// search text straight into the workspace. Returns what the dispatches left
// (the online names, the rows of the hidden room list view the rooms page
// reads) and how long each took (wall, the message already made); empty
// when the lists were already in place.
std::string applyCommunity(const Community& community)
{
    static int filledUsers = -1;
    static int filledRooms = -1;
    static bool filledArabic = false;
    workspaceState().rosterSearchInput = community.search ? community.search : "";
    if (community.users == filledUsers && community.rooms == filledRooms && community.arabic == filledArabic) return {};
    const std::string users = usersListMessage(community.users, community.arabic);
    const std::string rooms = roomsListMessage(community.rooms, community.arabic);
    const double start = wallNow();
    dispatchServerText(clientState(), users);
    const double between = wallNow();
    dispatchServerText(clientState(), rooms);
    const double end = wallNow();
    filledUsers = community.users;
    filledRooms = community.rooms;
    filledArabic = community.arabic;
    const HWND window = mainWindowHandle();
    const HWND listView = window ? ::GetDlgItem(window, idRoomListView) : nullptr;
    const LRESULT rows = listView ? ::SendMessageW(listView, LVM_GETITEMCOUNT, 0, 0) : -1;
    char text[160];
    std::snprintf(text, sizeof text, " (users_list: %zu names in %.0f ms, rooms_list: %ld rows in %.0f ms)",
                  clientState().onlineUsers.size(), between - start, static_cast<long>(rows), end - between);
    return text;
}

// The share of `total` that round `round` of kRounds takes.
int shareOf(int total, int round) { return total / kRounds + (round < total % kRounds ? 1 : 0); }

void measureRound(int page, int round, const Counts& counts, Costs& costs)
{
    clientState().activePage = static_cast<WorkspacePageId>(page);
    costs.firstFrameWall.push_back(drawRealFrame().build.wall);
    for (int i = shareOf(counts.realFrames, round); i > 0; --i) costs.frames.push_back(drawRealFrame());
    const double cpuStart = threadCpuNow();
    const double end = wallNow() + counts.buildMillis / kRounds;
    for (double start = wallNow(); start < end;) {
        buildFrameOnly();
        const double finished = wallNow();
        costs.buildOnlyWall.push_back(finished - start);
        start = finished;
    }
    costs.buildOnlyCpu += threadCpuNow() - cpuStart;
}

const char* verdict(double ratio) { return ratio <= kGoalRatio ? "PASS" : "MISS"; }

double ratio(double numerator, double denominator) { return denominator > 0 ? numerator / denominator : 0; }

void reportCosts(const Community& community, const Costs& c)
{
    Bench::say("    %-30s real frames: build %.2f CPU, %.2f process CPU, %.2f wall (median %.2f) | present %.2f CPU,"
               " %.2f process CPU, %.2f wall\n",
               community.label, c.average([](const RealFrame& f) { return f.build.thread; }),
               c.average([](const RealFrame& f) { return f.build.process; }),
               c.average([](const RealFrame& f) { return f.build.wall; }), c.buildWallMedian(),
               c.average([](const RealFrame& f) { return f.present.thread; }),
               c.average([](const RealFrame& f) { return f.present.process; }),
               c.average([](const RealFrame& f) { return f.present.wall; }));
    std::string stages;
    for (int p = 0; p < stageCount; ++p) {
        char text[64];
        std::snprintf(text, sizeof text, "%s%s %.2f", p ? ", " : "", kStageNames[p],
                      c.average([p](const RealFrame& f) { return f.stages[p]; }));
        stages += text;
    }
    Bench::say("    %-30s   build wall by stage: %s; %.0f vertices\n", "", stages.c_str(),
               c.average([](const RealFrame& f) { return static_cast<double>(f.vertices); }));
    Bench::say("    %-30s building alone: %.3f CPU, %.3f wall (median %.3f) over %zu frames; first real frame after"
               " a change %.2f wall (median of %zu)\n",
               "", c.buildOnlyCpuPerFrame(), mean(c.buildOnlyWall), median(c.buildOnlyWall), c.buildOnlyWall.size(),
               median(c.firstFrameWall), c.firstFrameWall.size());
}

void reportGoal(int page, const char* what, const Costs& small, const Costs& large)
{
    const double cpu = ratio(large.buildOnlyCpuPerFrame(), small.buildOnlyCpuPerFrame());
    const double wall = ratio(median(large.buildOnlyWall), median(small.buildOnlyWall));
    const double realWall = ratio(large.buildWallMedian(), small.buildWallMedian());
    const double realCpu = ratio(large.average([](const RealFrame& f) { return f.build.thread; }),
                                 small.average([](const RealFrame& f) { return f.build.thread; }));
    Bench::say("    page %d%s, 10,000 users/1,000 rooms over 10 users/10 rooms (goal: at most %.1fx): building alone"
               " CPU %.2fx %s, median wall %.2fx %s; real frames median build wall %.2fx %s (their CPU %.2fx counts"
               " whole 10 ms ticks)\n",
               page, what, kGoalRatio, cpu, verdict(cpu), wall, verdict(wall), realWall, verdict(realWall), realCpu);
}

// The same community named in Arabic against Latin names: what shaping and
// reordering for display add once the display forms are cached.
void reportArabicGoal(int page, const Costs& latin, const Costs& arabic)
{
    const double cpu = ratio(arabic.buildOnlyCpuPerFrame(), latin.buildOnlyCpuPerFrame());
    const double wall = ratio(median(arabic.buildOnlyWall), median(latin.buildOnlyWall));
    const double realWall = ratio(arabic.buildWallMedian(), latin.buildWallMedian());
    const char* const verdicts[] = {"PASS", "MISS"};
    Bench::say("    page %d, 10,000/1,000 named in Arabic over named in Latin (goal: at most %.1fx): building alone CPU"
               " %.2fx %s, median wall %.2fx %s; real frames median build wall %.2fx %s\n",
               page, kArabicGoalRatio, cpu, verdicts[cpu > kArabicGoalRatio], wall, verdicts[wall > kArabicGoalRatio],
               realWall, verdicts[realWall > kArabicGoalRatio]);
}

// The search's own work outside a frame: finding the matching rows (once
// per change of names or search text), and the comparison of the names with
// the ones the rows were found for, which every frame of a filtered list
// makes.
void reportFilterWork(const Costs& unsearched, const Costs& searched)
{
    // The Latin community's names (the lists last dispatched may be another
    // community's).
    NameList names;
    for (int i = 0; i < kCommunities[kLargeSearched].users; ++i) names.push_back(L"Player" + std::to_wstring(i));
    const NameList copy = names;
    const std::wstring search(kSearch, kSearch + sizeof kSearch - 1);
    constexpr int kRepeats = 50;
    std::size_t matches = 0;
    double start = wallNow();
    for (int i = 0; i < kRepeats; ++i) matches = namesMatching(names, search).size();
    const double matching = (wallNow() - start) / kRepeats;
    int equal = 0;
    start = wallNow();
    for (int i = 0; i < kRepeats; ++i) equal += copy == names;
    const double comparing = (wallNow() - start) / kRepeats;
    Bench::say("    search \"%s\" on page 1: %zu of %zu names match, found in %.3f ms wall; the check every frame"
               " makes that the names are unchanged: %.3f ms wall%s; building alone, searched minus unsearched:"
               " %.3f ms CPU, %.3f ms median wall a frame\n",
               kSearch, matches, names.size(), matching, comparing, equal == kRepeats ? "" : " (lists differ?)",
               searched.buildOnlyCpuPerFrame() - unsearched.buildOnlyCpuPerFrame(),
               median(searched.buildOnlyWall) - median(unsearched.buildOnlyWall));
    // The rows were last found for the 10 names: the first frame with the
    // search finds them again every round.
    Bench::say("    page 1 searched over unsearched, 10,000 users: building alone CPU %.2fx, median wall %.2fx; real"
               " frames median build wall %.2fx; the first real frame after setting the search (rows found) %.2f ms"
               " wall (median of %zu)\n",
               ratio(searched.buildOnlyCpuPerFrame(), unsearched.buildOnlyCpuPerFrame()),
               ratio(median(searched.buildOnlyWall), median(unsearched.buildOnlyWall)),
               ratio(searched.buildWallMedian(), unsearched.buildWallMedian()), median(searched.firstFrameWall),
               searched.firstFrameWall.size());
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    const bool longRun = Bench::hasFlag(argc, argv, L"--long");
    const Counts counts = longRun ? kLongCounts : kDefaultCounts;
    Bench::say("render_frame_bench: for each page and community %d real frames and %.0f s of building alone, in %d"
               " alternating rounds (--long: %d and %.0f s)\n",
               counts.realFrames, counts.buildMillis / 1000, kRounds, kLongCounts.realFrames,
               kLongCounts.buildMillis / 1000);
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
    // From here on no message is pumped: what the server sends meanwhile
    // waits in the queue and cannot replace the benchmark's lists.

    while (ActivityTranscript::text().size() + 200 < ActivityTranscript::kMaxCharacters) {
        ActivityTranscript::append(L"amy: a line of room chat to fill the transcript for the benchmark, " +
                                   std::to_wstring(ActivityTranscript::text().size()));
    }
    ActivityTranscript::syncBox();

    ImGuiContext* context = ImGui::GetCurrentContext();
    std::vector<ImGuiID> hooks;
    const std::pair<ImGuiContextHookType, ImGuiContextHookCallback> kHooks[] = {
        {ImGuiContextHookType_NewFramePre, &noteNewFramePre},
        {ImGuiContextHookType_NewFramePost, &noteNewFramePost},
        {ImGuiContextHookType_EndFramePre, &noteEndFramePre},
        {ImGuiContextHookType_RenderPost, &noteRendered},
    };
    for (const auto& [type, callback] : kHooks) {
        ImGuiContextHook hook;
        hook.Type = type;
        hook.Callback = callback;
        hooks.push_back(ImGui::AddContextHook(context, &hook));
    }
    {
        constexpr int kReads = 200;
        const double start = wallNow();
        for (int i = 0; i < kReads; ++i) now(WallRead::last);
        Bench::say("reading the CPU clocks of the thread and the process costs %.3f ms wall (left out of the wall"
                   " times)\n",
                   (wallNow() - start) / kReads);
    }

    std::vector<std::vector<Costs>> costs(std::size(kPages), std::vector<Costs>(kCommunityCount));
    {
        Bench::Case run("pages 0, 1, 4, 6 with each community in turn, %d rounds; the full transcript throughout",
                        kRounds);
        for (int round = 0; round < kRounds; ++round) {
            for (int community = 0; community < kCommunityCount; ++community) {
                const std::string dispatched = applyCommunity(kCommunities[community]);
                std::string line;
                for (std::size_t p = 0; p < std::size(kPages); ++p) {
                    if (!measured(kPages[p], community)) continue;
                    Costs& c = costs[p][static_cast<std::size_t>(community)];
                    const std::size_t real = c.frames.size();
                    const std::size_t alone = c.buildOnlyWall.size();
                    measureRound(kPages[p], round, counts, c);
                    double realWall = 0;
                    for (std::size_t f = real; f < c.frames.size(); ++f) realWall += c.frames[f].build.wall;
                    const std::vector<double> aloneWalls(c.buildOnlyWall.begin() + static_cast<std::ptrdiff_t>(alone),
                                                         c.buildOnlyWall.end());
                    char text[120];
                    std::snprintf(text, sizeof text, "%spage %d %.2f | %.3f", line.empty() ? "" : ", ", kPages[p],
                                  realWall / static_cast<double>(std::max<std::size_t>(c.frames.size() - real, 1)),
                                  median(aloneWalls));
                    line += text;
                }
                run.figure("round %d/%d, %s%s: build wall ms, real frames mean | alone median: %s", round + 1, kRounds,
                           kCommunities[community].label, dispatched.c_str(), line.c_str());
            }
        }
        run.end("measured");
    }

    Bench::say("per frame, ms: real frames' build (CPU of this thread, CPU of the process, wall) | present (the same);"
               " building alone (CPU of this thread, wall)\n");
    for (std::size_t p = 0; p < std::size(kPages); ++p) {
        const int page = kPages[p];
        Bench::say("page %d\n", page);
        for (int community = 0; community < kCommunityCount; ++community) {
            if (measured(page, community)) reportCosts(kCommunities[community], costs[p][community]);
        }
        if (page == pageRoomChat || page == pagePeople) reportGoal(page, "", costs[p][kSmall], costs[p][kLarge]);
        reportArabicGoal(page, costs[p][kLarge], costs[p][kLargeArabic]);
        if (page == pagePeople) {
            reportGoal(page, " searched", costs[p][kSmallSearched], costs[p][kLargeSearched]);
            reportFilterWork(costs[p][kLarge], costs[p][kLargeSearched]);
        }
    }
    for (const ImGuiID id : hooks) ImGui::RemoveContextHook(context, id);
    printMemory("at the end");
    ::PostMessageW(mainWindowHandle(), WM_CLOSE, 0, 0);
    return runMessageLoop();
}
