// velmor-procstat: one line of resource figures for a running Windows
// process, for fault runs and soak benchmarks that watch the client from
// outside. Run it in the same Wine prefix (same wineserver) as the process.
//
//   velmor-procstat.exe PID|IMAGE.exe
//
// Prints, on one line of key=value pairs:
//   pid handles threads gdi user private_bytes working_set cpu_ms
//   (kernel + user time) hwnds (its windows, child windows included) windows
//   (visible top-level windows) window (responsive, hung:CLASS or none:
//   whether they all answer WM_NULL within 1 s)
// Wine 8 answers some of these for another process with stubs:
// GetProcessHandleCount gives 0 (handles then come from counting the
// process's entries in the system handle table, which Wine does keep),
// GetGuiResources gives 0, PrivateUsage is the process's swap (0), and the
// CPU times are not kept current. Callers under Wine take CPU time and
// private memory from Linux (/proc) instead.
// Exits 0 when the process was found and opened, 1 otherwise (with the reason
// on standard error), 2 on bad arguments.
#include "platform/unique_handle.h"

#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

namespace {

bool sameImage(const wchar_t* a, const wchar_t* b)
{
    for (; *a && *b; ++a, ++b) {
        if (std::towlower(*a) != std::towlower(*b)) return false;
    }
    return *a == *b;
}

// The first process whose image name matches (several of one name: the
// caller should pass a process id).
DWORD findProcess(const wchar_t* image)
{
    const Velmor::UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more; more = ::Process32NextW(snapshot.get(), &entry)) {
        if (sameImage(entry.szExeFile, image)) return entry.th32ProcessID;
    }
    return 0;
}

unsigned countThreads(DWORD pid)
{
    const Velmor::UniqueFileHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot) return 0;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    unsigned count = 0;
    for (BOOL more = ::Thread32First(snapshot.get(), &entry); more; more = ::Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == pid) ++count;
    }
    return count;
}

// The process's entries in the system handle table
// (SystemExtendedHandleInformation); 0 when the table cannot be read.
unsigned long countHandlesInTable(DWORD pid)
{
    struct Entry {
        PVOID object;
        ULONG_PTR processId;
        ULONG_PTR handle;
        ULONG grantedAccess;
        USHORT creatorBackTraceIndex;
        USHORT objectTypeIndex;
        ULONG attributes;
        ULONG reserved;
    };
    struct Table {
        ULONG_PTR count;
        ULONG_PTR reserved;
        Entry entries[1];
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return 0;
    constexpr ULONG kExtendedHandleInformation = 64;
    constexpr LONG kLengthMismatch = static_cast<LONG>(0xC0000004);
    std::vector<unsigned char> buffer(1 << 20);
    for (;;) {
        ULONG needed = 0;
        const LONG status = query(kExtendedHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == kLengthMismatch && buffer.size() < (256u << 20)) {
            buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status < 0) return 0;
        break;
    }
    const auto* table = reinterpret_cast<const Table*>(buffer.data());
    unsigned long count = 0;
    for (ULONG_PTR i = 0; i < table->count; ++i) {
        if (table->entries[i].processId == pid) ++count;
    }
    return count;
}

BOOL CALLBACK countWindow(HWND, LPARAM counter)
{
    ++*reinterpret_cast<unsigned*>(counter);
    return TRUE;
}

struct WindowSearch {
    DWORD pid;
    std::vector<HWND> visible;  // the windows a person sees
    HWND hidden = nullptr;      // else one that exists
    unsigned all = 0;           // top-level and child windows
};

BOOL CALLBACK considerWindow(HWND window, LPARAM context)
{
    auto& search = *reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search.pid) return TRUE;
    ++search.all;
    ::EnumChildWindows(window, countWindow, reinterpret_cast<LPARAM>(&search.all));
    if (::IsWindowVisible(window)) {
        search.visible.push_back(window);
    } else if (!search.hidden) {
        search.hidden = window;
    }
    return TRUE;
}

// Whether every visible top-level window (or, with none visible, a hidden
// one) answers WM_NULL within 1 s; a hung thread fails at once. A window that
// does not answer is named by its class: "hung:CLASS".
std::string windowAnswer(const WindowSearch& search)
{
    std::vector<HWND> windows = search.visible;
    if (windows.empty() && search.hidden) windows.push_back(search.hidden);
    if (windows.empty()) return "none";
    for (const HWND window : windows) {
        DWORD_PTR result = 0;
        if (::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 1000, &result)) continue;
        if (!::IsWindow(window)) continue;  // closed meanwhile (a banner that timed out)
        char className[64] = {};
        ::GetClassNameA(window, className, sizeof className);
        return std::string("hung:") + className;
    }
    return "responsive";
}

unsigned long long milliseconds(const FILETIME& time)
{
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return value.QuadPart / 10000;  // 100 ns units
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::fputs("usage: velmor-procstat.exe PID|IMAGE.exe\n", stderr);
        return 2;
    }
    wchar_t* end = nullptr;
    DWORD pid = std::wcstoul(argv[1], &end, 10);
    if (end == argv[1] || *end != L'\0') pid = findProcess(argv[1]);
    if (pid == 0) {
        std::fwprintf(stderr, L"velmor-procstat: no process %ls\n", argv[1]);
        return 1;
    }
    const Velmor::UniqueKernelHandle process(::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!process) {
        std::fprintf(stderr, "velmor-procstat: cannot open process %lu (error %lu)\n", pid, ::GetLastError());
        return 1;
    }

    DWORD handles = 0;
    if (!::GetProcessHandleCount(process.get(), &handles) || handles == 0) handles = countHandlesInTable(pid);
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    ::GetProcessMemoryInfo(process.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    FILETIME created{}, exited{}, kernel{}, user{};
    ::GetProcessTimes(process.get(), &created, &exited, &kernel, &user);

    WindowSearch windows{pid, {}, nullptr, 0};
    ::EnumWindows(considerWindow, reinterpret_cast<LPARAM>(&windows));
    std::printf("pid=%lu handles=%lu threads=%u gdi=%lu user=%lu private_bytes=%llu working_set=%llu cpu_ms=%llu "
                "hwnds=%u windows=%u window=%s\n",
                pid, handles, countThreads(pid), ::GetGuiResources(process.get(), GR_GDIOBJECTS),
                ::GetGuiResources(process.get(), GR_USEROBJECTS), static_cast<unsigned long long>(memory.PrivateUsage),
                static_cast<unsigned long long>(memory.WorkingSetSize), milliseconds(kernel) + milliseconds(user),
                windows.all, static_cast<unsigned>(windows.visible.size()), windowAnswer(windows).c_str());
    return 0;
}
