#include "diagnostics/diagnostic_log.h"

#include "i18n/localize.h"
#include "json/text_encoding.h"
#include "platform/app_messages.h"
#include "platform/unique_handle.h"
#include "platform/user_prompts.h"
#include "ui/control_ids.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <memory>
#include <mutex>

namespace Velmor {
namespace {

// Guards the entry list and every access to the log file.
std::mutex gLogLock;
std::vector<LogEntry> gEntries;

std::wstring gTranscript;
std::uint64_t gTranscriptRevision = 0;

constexpr wchar_t kReplacementCharacter = L'\uFFFD';

// Events carry names and types the server chose. A line break inside one
// would forge further lines in the file and the view, a zero unit would cut
// the view's text short, and a megabyte-long "type" would bloat every copy of
// the list: so breaks and other control characters become visible
// replacement characters and an event is cut at a sane length.
bool breaksLogLine(wchar_t c) { return c < 0x20 || c == 0x85 || c == 0x2028 || c == 0x2029; }

std::wstring logSafeText(std::wstring_view text)
{
    bool cut = false;
    if (text.size() > DiagnosticLog::kMaxEventCharacters) {
        text = text.substr(0, DiagnosticLog::kMaxEventCharacters - 1);
        // Never leave half of a surrogate pair before the mark.
        if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) text.remove_suffix(1);
        cut = true;
    }
    std::wstring safe(text);
    for (wchar_t& c : safe) {
        if (breaksLogLine(c)) c = kReplacementCharacter;
    }
    if (cut) safe += L'\u2026';
    return safe;
}

std::wstring formatLine(std::wstring_view level, std::wstring_view text)
{
    SYSTEMTIME now = {};
    ::GetLocalTime(&now);
    wchar_t stamp[32];
    ::swprintf(stamp, 32, L"%02u:%02u:%02u.%03u", now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    std::wstring line(stamp);
    line.reserve(line.size() + level.size() + text.size() + 4);
    line += L" [";
    line += level;
    line += L"] ";
    line += text;
    return line;
}

void rotateIfLarge(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA attributes = {};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes)) return;
    const unsigned long long size =
        (static_cast<unsigned long long>(attributes.nFileSizeHigh) << 32) | attributes.nFileSizeLow;
    if (size > DiagnosticLog::kRotateAboveBytes) {
        const std::wstring rotated = path + L".1";
        ::MoveFileExW(path.c_str(), rotated.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
}

void appendToFile(const std::wstring& path, const std::string& bytes)
{
    const UniqueFileHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

HWND mainChild(int id)
{
    const HWND window = mainWindowHandle();
    return window ? ::GetDlgItem(window, id) : nullptr;
}

std::wstring windowText(HWND window)
{
    if (!window) return {};
    const int length = ::GetWindowTextLengthW(window);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
}

// Reads at most the last `limit` bytes of a file, and the file's size.
bool readFileTail(const std::wstring& path, std::size_t limit, std::string& tail, unsigned long long& size)
{
    const UniqueFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    LARGE_INTEGER fileSize = {};
    if (!::GetFileSizeEx(file.get(), &fileSize) || fileSize.QuadPart < 0) return false;
    size = static_cast<unsigned long long>(fileSize.QuadPart);
    const unsigned long long start = size > limit ? size - limit : 0;
    LARGE_INTEGER offset = {};
    offset.QuadPart = static_cast<LONGLONG>(start);
    if (!::SetFilePointerEx(file.get(), offset, nullptr, FILE_BEGIN)) return false;
    tail.assign(static_cast<std::size_t>(size - start), '\0');
    std::size_t filled = 0;
    while (filled < tail.size()) {
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(tail.size() - filled, 1 << 20));
        if (!::ReadFile(file.get(), tail.data() + filled, want, &read, nullptr) || read == 0) break;
        filled += read;
    }
    tail.resize(filled);
    return true;
}

}  // namespace

namespace DiagnosticLog {

LogSeverity severityOfLevel(std::wstring_view level)
{
    if (level == kLevelError) return severityError;
    if (level == kLevelWarn) return severityWarning;
    return severityOrdinary;
}

LogSeverity severityOfLoadedLine(std::wstring_view line)
{
    if (line.find(L"[ERROR]") != std::wstring_view::npos) return severityError;
    if (line.find(L"[WARN]") != std::wstring_view::npos) return severityWarning;
    return severityOrdinary;
}

std::wstring computeLogFilePath(const wchar_t* localAppData)
{
    std::wstring path = L".";
    if (localAppData && localAppData[0] != L'\0' && std::wstring_view(localAppData).size() < MAX_PATH) {
        path = localAppData;
    }
    path += L"\\VelmorChat";
    ::CreateDirectoryW(path.c_str(), nullptr);
    path += L"\\Logs";
    ::CreateDirectoryW(path.c_str(), nullptr);
    path += L"\\client.log";
    return path;
}

std::wstring localAppDataFromEnvironment()
{
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH);
    // A value of MAX_PATH characters or more does not fit (the call then
    // returns the size it would need) and counts as missing.
    if (length == 0 || length >= MAX_PATH) return {};
    return std::wstring(buffer, length);
}

std::wstring logFilePath()
{
    static const std::wstring path = [] {
        const std::wstring folder = localAppDataFromEnvironment();
        return computeLogFilePath(folder.empty() ? nullptr : folder.c_str());
    }();
    return path;
}

void write(std::wstring_view level, std::wstring_view text)
{
    LogEntry entry{formatLine(level, logSafeText(text)), severityOfLevel(level)};
    const std::string bytes = utf16ToUtf8(entry.text + L"\r\n");
    const std::wstring& path = logFilePath();
    {
        std::lock_guard lock(gLogLock);
        gEntries.push_back(std::move(entry));
        if (gEntries.size() > kMaxEntries) {
            gEntries.erase(gEntries.begin(), gEntries.begin() + kTrimmedEntries);
        }
        rotateIfLarge(path);
        appendToFile(path, bytes);
    }
    postToMainWindow(logChanged);
}

void writeStatus(std::wstring_view text, bool ok)
{
    write(ok ? kLevelInfo : kLevelWarn, text);
    postToMainWindow(statusUpdate, std::make_unique<StatusUpdatePayload>(StatusUpdatePayload{std::wstring(text), ok}));
}

void loadPrevious()
{
    std::string bytes;
    unsigned long long size = 0;
    // Only the tail is ever used, so only the tail is read: a huge or
    // corrupted file cannot exhaust memory at start-up.
    if (!readFileTail(logFilePath(), kStartupTailBytes, bytes, size)) return;
    if (size > kStartupTailBytes) {
        const std::size_t lineFeed = bytes.find('\n');
        if (lineFeed != std::string::npos) bytes.erase(0, lineFeed + 1);
    }

    std::wstring text = utf8ToUtf16(bytes);
    // A zero unit would end the view's text (and so Copy and Export) early.
    std::replace(text.begin(), text.end(), L'\0', kReplacementCharacter);
    std::vector<LogEntry> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        std::wstring_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);
        if (!line.empty()) lines.push_back(LogEntry{std::wstring(line), severityOfLoadedLine(line)});
        start = end + 1;
    }
    if (lines.size() > kStartupTailLines) lines.erase(lines.begin(), lines.end() - kStartupTailLines);

    std::lock_guard lock(gLogLock);
    gEntries = std::move(lines);
}

std::wstring lowerForSearch(std::wstring_view text)
{
    std::wstring lowered(text);
    for (wchar_t& c : lowered) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return lowered;
}

bool passesFilter(const LogEntry& entry, int filterIndex, std::wstring_view loweredSearch)
{
    if (filterIndex == filterWarningsAndErrors && entry.severity == severityOrdinary) return false;
    if (filterIndex == filterErrorsOnly && entry.severity != severityError) return false;
    if (loweredSearch.empty()) return true;
    return lowerForSearch(entry.text).find(loweredSearch) != std::wstring::npos;
}

std::vector<LogEntry> snapshot()
{
    std::lock_guard lock(gLogLock);
    return gEntries;
}

void refreshView()
{
    const HWND view = mainChild(idLogViewBox);
    if (!view) return;

    const HWND filterBox = mainChild(idLogFilterCombo);
    const int filterIndex = filterBox ? static_cast<int>(::SendMessageW(filterBox, CB_GETCURSEL, 0, 0)) : -1;
    const std::wstring search = lowerForSearch(windowText(mainChild(idLogSearchBox)));
    const HWND followBox = mainChild(idFollowTailCheck);
    const bool followTail = followBox && ::SendMessageW(followBox, BM_GETCHECK, 0, 0) == BST_CHECKED;

    std::wstring viewText;
    std::size_t total = 0;
    std::size_t warnings = 0;
    std::size_t errors = 0;
    {
        std::lock_guard lock(gLogLock);
        for (const LogEntry& entry : gEntries) {
            ++total;
            if (entry.severity == severityWarning) ++warnings;
            if (entry.severity == severityError) ++errors;
            if (passesFilter(entry, filterIndex, search)) {
                viewText += entry.text;
                viewText += L"\r\n";
            }
        }
    }

    if (const HWND summary = mainChild(idLogSummaryLabel)) {
        const std::wstring line = localize(L"Events") + L" " + std::to_wstring(total) + L"   \u00B7   " +
                                  localize(L"Warnings") + L" " + std::to_wstring(warnings) + L"   \u00B7   " +
                                  localize(L"Errors") + L" " + std::to_wstring(errors);
        ::SetWindowTextW(summary, line.c_str());
    }

    const LRESULT firstVisible = ::SendMessageW(view, EM_GETFIRSTVISIBLELINE, 0, 0);
    ::SetWindowTextW(view, viewText.c_str());
    if (followTail) {
        const WPARAM end = static_cast<WPARAM>(::GetWindowTextLengthW(view));
        ::SendMessageW(view, EM_SETSEL, end, static_cast<LPARAM>(end));
        ::SendMessageW(view, EM_SCROLLCARET, 0, 0);
    } else if (firstVisible > 0) {
        ::SendMessageW(view, EM_LINESCROLL, 0, firstVisible);
    }
}

void clear()
{
    {
        std::lock_guard lock(gLogLock);
        gEntries.clear();
        UniqueFileHandle truncated(::CreateFileW(logFilePath().c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    write(kLevelInfo, L"Diagnostic log cleared");
    refreshView();
}

void copyView()
{
    const HWND view = mainChild(idLogViewBox);
    if (!view) return;
    const std::wstring text = windowText(view);
    if (!::OpenClipboard(mainWindowHandle())) return;
    ::EmptyClipboard();
    bool copied = false;
    UniqueGlobal memory(::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t)));
    if (memory) {
        if (void* locked = ::GlobalLock(memory.get())) {
            std::memcpy(locked, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
            ::GlobalUnlock(memory.get());
            // The clipboard owns the memory once it accepts it.
            if (::SetClipboardData(CF_UNICODETEXT, memory.get())) {
                memory.release();
                copied = true;
            }
        }
    }
    ::CloseClipboard();
    if (copied) write(kLevelInfo, L"Current diagnostic view copied to the clipboard");
}

void exportView()
{
    SaveFileRequest request;
    request.owner = mainWindowHandle();
    request.initialName = L"VelmorChat-debug.log";
    request.filters = {{L"Log files (*.log)", L"*.log"}, {L"Text files (*.txt)", L"*.txt"}, {L"All files (*.*)", L"*.*"}};
    request.defaultExtension = L"log";
    const std::optional<std::wstring> path = askSaveFilePath(request);
    if (!path) return;

    const std::string bytes = utf16ToUtf8(windowText(mainChild(idLogViewBox)));
    bool written = false;
    {
        const UniqueFileHandle file(
            ::CreateFileW(path->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD count = 0;
        written = file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr) &&
                  count == bytes.size();
    }
    if (written) {
        write(kLevelInfo, L"Diagnostic view exported to file");
    } else {
        showMessageBox(mainWindowHandle(), localize(L"Could not write the log file."), localize(L"Diagnostics"),
                       MB_ICONERROR);
    }
}

}  // namespace DiagnosticLog

void dropLeadingLinesToFit(std::wstring& text, std::size_t limit)
{
    if (text.size() <= limit) return;
    const std::size_t excess = text.size() - limit;
    const std::size_t lineFeed = text.find(L'\n', excess);
    text.erase(0, lineFeed == std::wstring::npos ? excess : lineFeed + 1);
}

namespace ActivityTranscript {

// The transcript box mirrors the transcript, but it is brought up to date at
// most once per interface frame (syncBox): editing a 180,000-character edit
// control costs milliseconds per change, far more than the string itself,
// and a burst of room messages would otherwise stall the interface thread.
// Between syncs the box is behind by the text appended (gPendingAppend) and
// by what trimming dropped from the front (gPendingDrop).
namespace {
// Once more text is pending than the transcript can hold, none of the box
// survives: the pending text is dropped and the next sync replaces the box
// whole (gReplaceBox), so a flood between two frames cannot grow it unbounded.
std::wstring gPendingAppend;
std::size_t gPendingDrop = 0;
bool gReplaceBox = false;
bool gBoxStale = false;
}  // namespace

void append(std::wstring_view line)
{
    if (!mainChild(idTranscriptBox)) return;
    const std::size_t grown = gTranscript.size() + line.size() + 2;
    if (grown > gTranscript.capacity()) {
        // Doubling, but no further than a full transcript and a line needs:
        // left to itself the string would end up nearly twice that.
        constexpr std::size_t kFullCapacity = kMaxCharacters + 2048;
        gTranscript.reserve(std::max(grown, std::min(2 * gTranscript.capacity(), kFullCapacity)));
    }
    gTranscript += line;
    gTranscript += L"\r\n";
    dropLeadingLinesToFit(gTranscript, kMaxCharacters);
    ++gTranscriptRevision;
    if (!gReplaceBox && gPendingAppend.size() + line.size() + 2 > kMaxCharacters) {
        gReplaceBox = true;
        std::wstring().swap(gPendingAppend);
        gPendingDrop = 0;
    }
    if (!gReplaceBox) {
        gPendingAppend += line;
        gPendingAppend += L"\r\n";
        gPendingDrop += grown - gTranscript.size();
    }
    gBoxStale = true;
}

std::size_t pendingCharacters() { return gPendingAppend.size(); }

void syncBox()
{
    if (!gBoxStale) return;
    const HWND box = mainChild(idTranscriptBox);
    if (!box) return;
    const std::size_t boxLength = static_cast<std::size_t>(::GetWindowTextLengthW(box));
    if (::SendMessageW(box, EM_GETLIMITTEXT, 0, 0) < static_cast<LRESULT>(kMaxCharacters * 2)) {
        ::SendMessageW(box, EM_SETLIMITTEXT, kMaxCharacters * 2, 0);
    }
    if (gReplaceBox || boxLength + gPendingAppend.size() != gTranscript.size() + gPendingDrop ||
        gPendingDrop >= boxLength) {
        // The box holds something else, or nothing of it survives: replace it.
        ::SetWindowTextW(box, gTranscript.c_str());
    } else {
        ::SendMessageW(box, EM_SETSEL, boxLength, static_cast<LPARAM>(boxLength));
        ::SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(gPendingAppend.c_str()));
        if (gPendingDrop > 0) {
            ::SendMessageW(box, EM_SETSEL, 0, static_cast<LPARAM>(gPendingDrop));
            ::SendMessageW(box, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
        }
    }
    gPendingAppend.clear();
    gPendingDrop = 0;
    gReplaceBox = false;
    gBoxStale = false;
    const WPARAM end = static_cast<WPARAM>(gTranscript.size());
    ::SendMessageW(box, EM_SETSEL, end, static_cast<LPARAM>(end));
    ::SendMessageW(box, EM_SCROLLCARET, 0, 0);
}

const std::wstring& text() { return gTranscript; }

std::uint64_t revision() { return gTranscriptRevision; }

}  // namespace ActivityTranscript

}  // namespace Velmor
