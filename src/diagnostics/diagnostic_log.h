// The client's privacy-aware event stream and the user-visible activity
// transcript.
//
// Every event goes to two places: a UTF-8 file under the user's local
// application-data folder (rotated by size) and a bounded in-memory list that
// feeds the diagnostics page. Callers pass message types, names, counts and
// error texts only: chat and direct-message bodies never reach the log.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Velmor {

inline constexpr wchar_t kLevelError[] = L"ERROR";
inline constexpr wchar_t kLevelWarn[] = L"WARN";
inline constexpr wchar_t kLevelInfo[] = L"INFO";
inline constexpr wchar_t kLevelTrace[] = L"TRACE";

enum LogSeverity : int { severityOrdinary = 0, severityWarning = 1, severityError = 2 };

struct LogEntry {
    std::wstring text;  // the formatted line, without line break
    LogSeverity severity = severityOrdinary;
};

// View filter indices (the log filter combo box and the diagnostics page).
enum LogFilter : int { filterAllEvents = 0, filterWarningsAndErrors = 1, filterErrorsOnly = 2 };

namespace DiagnosticLog {

inline constexpr std::size_t kMaxEntries = 1200;
inline constexpr std::size_t kTrimmedEntries = 200;
inline constexpr unsigned long long kRotateAboveBytes = 4ull * 1024 * 1024;
inline constexpr std::size_t kStartupTailBytes = 512000;
inline constexpr std::size_t kStartupTailLines = 700;
// Longest event text kept; a longer one is cut and ends in "…".
inline constexpr std::size_t kMaxEventCharacters = 4096;

// Appends one event; any thread. Never fails and never shows anything: a file
// that cannot be written is skipped, the entry stays in the list. Control
// characters and line breaks in `text` (which may carry server-chosen names)
// are written as U+FFFD, and a text longer than kMaxEventCharacters is cut.
void write(std::wstring_view level, std::wstring_view text);

// Writes at "INFO" (ok) or "WARN" and posts the text to the main window as a
// status notice.
void writeStatus(std::wstring_view text, bool ok);

// The log file path, computed (and its folders created) once per process.
std::wstring logFilePath();

// LOCALAPPDATA as logFilePath reads it, through a buffer of MAX_PATH
// characters: empty when missing, empty, or MAX_PATH characters or longer.
std::wstring localAppDataFromEnvironment();

// The path for a given value of LOCALAPPDATA: an empty, missing (nullptr) or
// over-long value falls back to the current folder. Creates the folders.
std::wstring computeLogFilePath(const wchar_t* localAppData);

// At start-up: replaces the in-memory list with the tail of the existing file.
void loadPrevious();

// Rebuilds the main window's log view and summary from the list and the view
// controls (filter, search, follow tail).
void refreshView();

// The diagnostics page's three commands.
void clear();
void copyView();
void exportView();

// A copy of the entries, taken under the log lock.
std::vector<LogEntry> snapshot();

// The filter shared by the view and the diagnostics page. `loweredSearch` is
// the search text already lowered with lowerForSearch.
bool passesFilter(const LogEntry& entry, int filterIndex, std::wstring_view loweredSearch);
std::wstring lowerForSearch(std::wstring_view text);

// Severity of a level name, and of a line loaded from the file.
LogSeverity severityOfLevel(std::wstring_view level);
LogSeverity severityOfLoadedLine(std::wstring_view line);

}  // namespace DiagnosticLog

namespace ActivityTranscript {

inline constexpr std::size_t kMaxCharacters = 180000;

// Adds one line; interface thread, only while the transcript box exists.
// The box itself follows at the next syncBox.
void append(std::wstring_view text);

// Brings the transcript box up to date with the transcript (the main window
// calls it on every frame tick), caret at the end and scrolled into view.
void syncBox();

// Characters appended since the last sync that the box still lacks; never
// more than kMaxCharacters (beyond that the next sync replaces the box).
std::size_t pendingCharacters();

// The whole transcript, lines separated by CR LF.
const std::wstring& text();

// Counts the changes to the transcript: readers that keep a form of it
// compare this rather than the text.
std::uint64_t revision();

}  // namespace ActivityTranscript

// Shortens a running text to at most `limit` characters by dropping whole
// lines from its start: everything up to and including the first line feed
// at or after the excess goes; without such a line feed, just the excess.
void dropLeadingLinesToFit(std::wstring& text, std::size_t limit);

}  // namespace Velmor
