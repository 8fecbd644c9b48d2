// The diagnostic log with real files in a temporary LOCALAPPDATA and the
// main window's view controls on a stand-in window.
#include "diagnostics/diagnostic_log.h"

#include "json/text_encoding.h"
#include "platform/app_messages.h"
#include "support/log_folder.h"
#include "support/prompt_recorder.h"
#include "support/temp_dir.h"
#include "support/test_window.h"
#include "ui/control_ids.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

namespace Log = Velmor::DiagnosticLog;
using Velmor::LogEntry;

namespace {

// The log file's location is fixed for the life of the process: the whole
// test program shares one LOCALAPPDATA (support/log_folder.h).

std::string readFile(const std::wstring& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void writeFile(const std::wstring& path, const std::string& bytes)
{
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::vector<std::string> fileLines(const std::wstring& path)
{
    std::vector<std::string> lines;
    std::istringstream in(readFile(path));
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::wstring windowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

class DiagnosticLogTest : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override
    {
        std::filesystem::remove(std::filesystem::path(Log::logFilePath() + L".1"));
        reset();
    }
    // An empty file loads as an empty list.
    static void reset()
    {
        writeFile(Log::logFilePath(), "");
        Log::loadPrevious();
    }
};

TEST_F(DiagnosticLogTest, LinesAreFormattedWithTimeLevelAndText)
{
    Log::write(Velmor::kLevelInfo, L"Application started");
    Log::write(Velmor::kLevelWarn, L"Zo\u00EB \u0633\u0644\u0627\u0645");
    const auto entries = Log::snapshot();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(std::regex_match(Velmor::utf16ToUtf8(entries[0].text),
                                 std::regex(R"(\d\d:\d\d:\d\d\.\d\d\d \[INFO\] Application started)")));
    EXPECT_EQ(entries[0].severity, Velmor::severityOrdinary);
    EXPECT_EQ(entries[1].severity, Velmor::severityWarning);

    const std::string file = readFile(Log::logFilePath());
    EXPECT_NE(file.substr(0, 3), "\xEF\xBB\xBF");  // no byte-order mark
    const auto lines = fileLines(Log::logFilePath());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d\d:\d\d:\d\d\.\d\d\d \[INFO\] Application started\r)")));
    EXPECT_NE(lines[1].find("[WARN] Zo\xC3\xAB \xD8\xB3\xD9\x84\xD8\xA7\xD9\x85\r"), std::string::npos);
}

TEST_F(DiagnosticLogTest, SeverityComesFromTheExactLevelName)
{
    EXPECT_EQ(Log::severityOfLevel(L"ERROR"), Velmor::severityError);
    EXPECT_EQ(Log::severityOfLevel(L"WARN"), Velmor::severityWarning);
    EXPECT_EQ(Log::severityOfLevel(L"INFO"), Velmor::severityOrdinary);
    EXPECT_EQ(Log::severityOfLevel(L"TRACE"), Velmor::severityOrdinary);
    EXPECT_EQ(Log::severityOfLevel(L"error"), Velmor::severityOrdinary);
    EXPECT_EQ(Log::severityOfLevel(L"WARNING"), Velmor::severityOrdinary);

    EXPECT_EQ(Log::severityOfLoadedLine(L"10:00:00.000 [WARN] x"), Velmor::severityWarning);
    EXPECT_EQ(Log::severityOfLoadedLine(L"[WARN] and [ERROR]"), Velmor::severityError);
    EXPECT_EQ(Log::severityOfLoadedLine(L"10:00:00.000 [TRACE] WS TX: ping"), Velmor::severityOrdinary);
    EXPECT_EQ(Log::severityOfLoadedLine(L"[warn]"), Velmor::severityOrdinary);
}

TEST_F(DiagnosticLogTest, The1201stEntryDropsTheOldest200)
{
    for (int i = 0; i < 1200; ++i) Log::write(Velmor::kLevelTrace, L"event " + std::to_wstring(i));
    EXPECT_EQ(Log::snapshot().size(), 1200u);
    Log::write(Velmor::kLevelTrace, L"event 1200");
    const auto entries = Log::snapshot();
    ASSERT_EQ(entries.size(), 1001u);
    EXPECT_NE(entries.front().text.find(L"] event 200"), std::wstring::npos);
    EXPECT_NE(entries.back().text.find(L"] event 1200"), std::wstring::npos);
    EXPECT_EQ(fileLines(Log::logFilePath()).size(), 1201u);  // the file keeps everything
}

TEST_F(DiagnosticLogTest, RotationHappensOnlyAboveFourMebibytes)
{
    const std::wstring path = Log::logFilePath();
    const std::wstring rotated = path + L".1";
    writeFile(rotated, "old rotated log\r\n");
    writeFile(path, std::string(4194304, 'x'));

    Log::write(Velmor::kLevelInfo, L"first");  // exactly 4 MiB: no rotation yet
    EXPECT_EQ(readFile(rotated), "old rotated log\r\n");
    const std::size_t grown = readFile(path).size();
    EXPECT_GT(grown, 4194304u);

    Log::write(Velmor::kLevelInfo, L"second");  // now above 4 MiB: rotated first
    EXPECT_EQ(readFile(rotated).size(), grown);
    const auto lines = fileLines(path);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("[INFO] second"), std::string::npos);
}

TEST_F(DiagnosticLogTest, StartupLoadKeepsTheTailAfterALineFeed)
{
    // 600,000 bytes: only what follows the first line feed at or after byte 88,000.
    std::string head(88000 - 10, 'a');
    head += "\nskipped line that straddles the cut\n";
    head += "10:00:00.000 [WARN] first kept line\n";
    const std::string tail = "10:00:00.000 [ERROR] last [WARN] line\r\nzzz";
    const std::string filler = "10:00:00.000 [INFO] filler line\r\n";
    const std::size_t room = 600000 - head.size() - tail.size();
    const std::size_t fillers = room / filler.size() - 1;
    std::string file = head;
    for (std::size_t i = 0; i < fillers; ++i) file += filler;
    file += std::string(room - fillers * filler.size() - 2, 'p') + "\r\n";
    file += tail;
    ASSERT_EQ(file.size(), 600000u);
    writeFile(Log::logFilePath(), file);
    Log::loadPrevious();
    auto entries = Log::snapshot();
    ASSERT_EQ(entries.size(), 700u);  // far more lines remain; the last 700 are kept
    EXPECT_EQ(entries[entries.size() - 2].text, L"10:00:00.000 [ERROR] last [WARN] line");
    EXPECT_EQ(entries[entries.size() - 2].severity, Velmor::severityError);
    EXPECT_EQ(entries.back().text, L"zzz");

    // With few lines the cut itself shows: the first kept line follows it.
    std::string shortFile = head + tail;
    shortFile.append(600000 - shortFile.size(), 'z');
    writeFile(Log::logFilePath(), shortFile);
    Log::loadPrevious();
    entries = Log::snapshot();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].text, L"10:00:00.000 [WARN] first kept line");
    EXPECT_EQ(entries[0].severity, Velmor::severityWarning);

    // A smaller file loads whole, skipping empty lines and dropping one CR per line.
    writeFile(Log::logFilePath(), "a [WARN] w\r\n\r\n\nb\r\r\nc");
    Log::loadPrevious();
    const auto small = Log::snapshot();
    ASSERT_EQ(small.size(), 3u);
    EXPECT_EQ(small[0].text, L"a [WARN] w");
    EXPECT_EQ(small[0].severity, Velmor::severityWarning);
    EXPECT_EQ(small[1].text, L"b\r");
    EXPECT_EQ(small[2].text, L"c");
}

TEST_F(DiagnosticLogTest, StartupLoadCutsExactlyAtTheFirstLineFeedAfterTheCut)
{
    // The byte at the cut itself is a line feed: everything up to it goes.
    std::string file(100000 - 1, 'a');
    file += '\n';
    file += "kept\n";
    file.append(512000 - 5, 'b');
    ASSERT_GT(file.size(), 512000u);
    writeFile(Log::logFilePath(), file);
    Log::loadPrevious();
    const auto entries = Log::snapshot();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().text, std::wstring(512000 - 5, L'b'));

    // No line feed at all in the tail: the last 512,000 bytes as one line.
    writeFile(Log::logFilePath(), std::string(700000, 'q'));
    Log::loadPrevious();
    const auto single = Log::snapshot();
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].text.size(), 512000u);
}

TEST_F(DiagnosticLogTest, StartupLoadOfManyShortLinesAndOfBinaryGarbage)
{
    std::string lines;
    for (int i = 0; i < 2000; ++i) lines += "line " + std::to_string(i) + "\r\n";
    writeFile(Log::logFilePath(), lines);
    Log::loadPrevious();
    auto entries = Log::snapshot();
    ASSERT_EQ(entries.size(), 700u);
    EXPECT_EQ(entries.front().text, L"line 1300");
    EXPECT_EQ(entries.back().text, L"line 1999");

    // Twenty megabytes of pseudo-random bytes load as a bounded tail.
    std::string garbage(20 * 1024 * 1024, '\0');
    unsigned state = 12345;
    for (char& c : garbage) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    writeFile(Log::logFilePath(), garbage);
    Log::loadPrevious();
    entries = Log::snapshot();
    EXPECT_LE(entries.size(), 700u);
    std::size_t characters = 0;
    for (const LogEntry& entry : entries) characters += entry.text.size();
    EXPECT_LE(characters, 512000u);

    // A missing file leaves the list as it was.
    std::filesystem::remove(std::filesystem::path(Log::logFilePath()));
    Log::loadPrevious();
    EXPECT_EQ(Log::snapshot().size(), entries.size());
}

TEST_F(DiagnosticLogTest, AFileThatCannotBeWrittenNeverFailsTheCaller)
{
    // Another program holds the file without sharing it: the writes are
    // skipped silently and the entries stay in the list.
    const HANDLE exclusive = ::CreateFileW(Log::logFilePath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    Log::write(Velmor::kLevelError, L"while locked");
    ::CloseHandle(exclusive);
    EXPECT_EQ(readFile(Log::logFilePath()), "");
    ASSERT_EQ(Log::snapshot().size(), 1u);
    Log::write(Velmor::kLevelInfo, L"after");
    EXPECT_EQ(fileLines(Log::logFilePath()).size(), 1u);
}

TEST_F(DiagnosticLogTest, TextThatIsNotValidUtf16IsWrittenLeniently)
{
    Log::write(Velmor::kLevelInfo, std::wstring(L"bad \xD800 surrogate"));
    const auto lines = fileLines(Log::logFilePath());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("bad \xEF\xBF\xBD surrogate"), std::string::npos);
}

TEST_F(DiagnosticLogTest, LineBreaksAndControlCharactersCannotForgeLines)
{
    // A server-chosen type with a line break must not start a line of its own.
    Log::write(Velmor::kLevelTrace, L"WS RX: x\r\n10:00:00.000 [ERROR] forged");
    Log::write(Velmor::kLevelTrace, std::wstring(L"a\0b\tc\x1F" L"d\x85" L"e\u2028" L"f\u2029" L"g\x7F\u00A0h", 16));
    const auto entries = Log::snapshot();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_NE(entries[0].text.find(L"] WS RX: x\uFFFD\uFFFD10:00:00.000 [ERROR] forged"), std::wstring::npos);
    EXPECT_EQ(entries[0].severity, Velmor::severityOrdinary);
    EXPECT_NE(entries[1].text.find(L"] a\uFFFDb\uFFFDc\uFFFDd\uFFFDe\uFFFDf\uFFFDg\x7F\u00A0h"), std::wstring::npos);

    const auto lines = fileLines(Log::logFilePath());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].find('\r'), lines[0].size() - 1);  // only the line end
    EXPECT_EQ(lines[1].find('\0'), std::string::npos);

    // Loaded back, the forged text stays inside its line.
    Log::loadPrevious();
    const auto loaded = Log::snapshot();
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[0].text, entries[0].text);
    EXPECT_EQ(loaded[1].text, entries[1].text);
}

TEST_F(DiagnosticLogTest, LongEventTextsAreCutAndMarked)
{
    const auto textOf = [](const LogEntry& entry) { return entry.text.substr(entry.text.find(L"] ") + 2); };
    Log::write(Velmor::kLevelTrace, std::wstring(4096, L'k'));  // fits exactly
    Log::write(Velmor::kLevelTrace, L"WS RX: " + std::wstring(1000000, L't'));
    // The cut would fall between the halves of a surrogate pair: both go.
    Log::write(Velmor::kLevelTrace, std::wstring(4094, L's') + L"\xD83D\xDE00tail");
    const auto entries = Log::snapshot();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(textOf(entries[0]), std::wstring(4096, L'k'));
    EXPECT_EQ(textOf(entries[1]), L"WS RX: " + std::wstring(4095 - 7, L't') + L"\u2026");
    EXPECT_EQ(textOf(entries[2]), std::wstring(4094, L's') + L"\u2026");

    const auto lines = fileLines(Log::logFilePath());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_LT(lines[1].size(), 4200u);
    EXPECT_EQ(lines[2].find("\xEF\xBF\xBD"), std::string::npos);  // no broken pair written
    EXPECT_NE(lines[2].find(std::string(4094, 's') + "\xE2\x80\xA6\r"), std::string::npos);
}

TEST_F(DiagnosticLogTest, ConcurrentWritersNeverInterleaveInsideALine)
{
    constexpr int kThreads = 6;
    constexpr int kLinesEach = 150;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            const std::wstring payload(40, static_cast<wchar_t>(L'A' + t));
            for (int i = 0; i < kLinesEach; ++i) {
                Log::write(Velmor::kLevelTrace, L"writer " + std::to_wstring(t) + L" " + payload + L" " +
                                                    std::to_wstring(i));
            }
        });
    }
    for (std::thread& writer : writers) writer.join();

    const auto lines = fileLines(Log::logFilePath());
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLinesEach));
    const std::regex shape(R"(\d\d:\d\d:\d\d\.\d\d\d \[TRACE\] writer (\d) ([A-F])\2{39} (\d+)\r)");
    std::vector<int> next(kThreads, 0);
    const auto entries = Log::snapshot();
    ASSERT_EQ(entries.size(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(lines[i], match, shape)) << lines[i];
        const int writer = std::stoi(match[1]);
        EXPECT_EQ(match[2].str()[0], 'A' + writer);
        EXPECT_EQ(std::stoi(match[3]), next[writer]++);  // each writer's lines in its order
        // The file holds the lines in list order.
        EXPECT_EQ(Velmor::utf16ToUtf8(entries[i].text) + "\r", lines[i]);
    }
}

TEST_F(DiagnosticLogTest, FilterAndCaseInsensitiveSearch)
{
    const LogEntry trace{L"10:00:00.000 [TRACE] WS TX: list_users", Velmor::severityOrdinary};
    const LogEntry warning{L"10:00:00.000 [WARN] Connection lost. Reconnecting...", Velmor::severityWarning};
    const LogEntry error{L"10:00:00.000 [ERROR] WS RX: error", Velmor::severityError};
    const auto passes = [](const LogEntry& entry, int filter, const wchar_t* search) {
        return Log::passesFilter(entry, filter, Log::lowerForSearch(search));
    };
    EXPECT_TRUE(passes(trace, 0, L""));
    EXPECT_FALSE(passes(trace, 1, L""));
    EXPECT_FALSE(passes(trace, 2, L""));
    EXPECT_TRUE(passes(warning, 1, L""));
    EXPECT_FALSE(passes(warning, 2, L""));
    EXPECT_TRUE(passes(error, 2, L""));
    EXPECT_TRUE(passes(trace, -1, L""));  // no selection passes everything
    EXPECT_TRUE(passes(trace, 7, L""));

    EXPECT_TRUE(passes(warning, 0, L"connection LOST"));
    EXPECT_TRUE(passes(trace, 0, L"ws tx"));
    EXPECT_FALSE(passes(trace, 0, L"ws rx"));
    EXPECT_FALSE(passes(trace, 1, L"ws tx"));  // both conditions must hold
}

class DiagnosticViewTest : public DiagnosticLogTest {
protected:
    VelmorTest::TestMainWindow window{{
        {Velmor::idLogViewBox, L"EDIT", WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY},
        {Velmor::idLogSummaryLabel, L"STATIC", 0},
        {Velmor::idLogSearchBox, L"EDIT", ES_AUTOHSCROLL},
        {Velmor::idLogFilterCombo, L"ComboBox", CBS_DROPDOWNLIST},
        {Velmor::idFollowTailCheck, L"BUTTON", BS_AUTOCHECKBOX},
        {Velmor::idTranscriptBox, L"EDIT", ES_MULTILINE | ES_READONLY},
    }};

    void SetUp() override
    {
        DiagnosticLogTest::SetUp();
        const HWND filter = window.child(Velmor::idLogFilterCombo);
        for (const wchar_t* item : {L"All events", L"Warnings and errors", L"Errors only"}) {
            ::SendMessageW(filter, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
        }
        selectFilter(0);
        ::SendMessageW(window.child(Velmor::idLogViewBox), EM_SETLIMITTEXT, 500000, 0);
    }
    void selectFilter(int index) { ::SendMessageW(window.child(Velmor::idLogFilterCombo), CB_SETCURSEL, index, 0); }
    void search(const wchar_t* text) { ::SetWindowTextW(window.child(Velmor::idLogSearchBox), text); }
    std::wstring view() const { return windowText(window.child(Velmor::idLogViewBox)); }
    std::wstring summary() const { return windowText(window.child(Velmor::idLogSummaryLabel)); }
    // The clipboard's Unicode text; a test failure when there is none.
    std::wstring clipboardText() const
    {
        if (!::OpenClipboard(window.handle())) {
            ADD_FAILURE() << "the clipboard could not be opened";
            return {};
        }
        std::wstring text;
        if (const HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
            text = static_cast<const wchar_t*>(::GlobalLock(data));
            ::GlobalUnlock(data);
        } else {
            ADD_FAILURE() << "the clipboard holds no text";
        }
        ::CloseClipboard();
        return text;
    }
    static int lineCount(const std::wstring& text)
    {
        int count = 0;
        for (const wchar_t c : text) count += c == L'\n' ? 1 : 0;
        return count;
    }
};

TEST_F(DiagnosticViewTest, RefreshAppliesFilterAndSearchButCountsEverything)
{
    Log::write(Velmor::kLevelTrace, L"WS TX: list_users");
    Log::write(Velmor::kLevelWarn, L"Connection lost. Reconnecting...");
    Log::write(Velmor::kLevelError, L"WS RX: error");
    Log::write(Velmor::kLevelInfo, L"Synchronized server block list");

    Log::refreshView();
    EXPECT_EQ(lineCount(view()), 4);
    const std::wstring counts = L"Events 4   \u00B7   Warnings 1   \u00B7   Errors 1";
    EXPECT_EQ(summary(), counts);

    selectFilter(2);
    Log::refreshView();
    EXPECT_EQ(lineCount(view()), 1);
    EXPECT_NE(view().find(L"[ERROR] WS RX: error\r\n"), std::wstring::npos);
    EXPECT_EQ(summary(), counts);

    selectFilter(0);
    search(L"ws tx");
    Log::refreshView();
    EXPECT_EQ(lineCount(view()), 1);
    EXPECT_NE(view().find(L"WS TX: list_users"), std::wstring::npos);
    EXPECT_EQ(summary(), counts);

    search(L"");
    selectFilter(1);
    Log::refreshView();
    EXPECT_EQ(lineCount(view()), 2);
}

TEST_F(DiagnosticViewTest, ClearLeavesExactlyOneLineAndKeepsTheRotatedFile)
{
    writeFile(Log::logFilePath() + L".1", "rotated\r\n");
    for (int i = 0; i < 5; ++i) Log::write(Velmor::kLevelInfo, L"before clear");
    Log::clear();
    const auto entries = Log::snapshot();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_NE(entries[0].text.find(L"[INFO] Diagnostic log cleared"), std::wstring::npos);
    const auto lines = fileLines(Log::logFilePath());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Diagnostic log cleared"), std::string::npos);
    EXPECT_EQ(lineCount(view()), 1);
    EXPECT_EQ(readFile(Log::logFilePath() + L".1"), "rotated\r\n");
}

TEST_F(DiagnosticViewTest, ExportWritesTheViewAsUtf8WithoutByteOrderMark)
{
    VelmorTest::PromptRecorder prompts;
    VelmorTest::TempDir folder;
    const std::wstring target = folder.str() + L"\\export.log";
    Log::write(Velmor::kLevelInfo, L"Caf\u00E9 \u0645\u0631\u062D\u0628\u0627");
    Log::refreshView();
    const std::wstring shown = view();

    prompts.queueSavePath(target);
    Log::exportView();
    EXPECT_EQ(prompts.lastSaveRequest.initialName, L"VelmorChat-debug.log");
    EXPECT_EQ(prompts.lastSaveRequest.defaultExtension, L"log");
    ASSERT_EQ(prompts.lastSaveRequest.filters.size(), 3u);
    EXPECT_EQ(prompts.lastSaveRequest.filters[0].pattern, L"*.log");
    EXPECT_EQ(prompts.lastSaveRequest.owner, window.handle());
    EXPECT_EQ(readFile(target), Velmor::utf16ToUtf8(shown));
    EXPECT_NE(readFile(target).substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(Log::snapshot().back().text.find(L"Diagnostic view exported to file"), std::wstring::npos);

    // Cancelling does nothing.
    const auto before = Log::snapshot().size();
    Log::exportView();
    EXPECT_EQ(Log::snapshot().size(), before);
    EXPECT_EQ(prompts.count(VelmorTest::RecordedPrompt::messageBox), 0u);

    // A folder that does not exist: the error box, owned by the main window.
    prompts.queueSavePath(folder.str() + L"\\missing\\export.log");
    Log::exportView();
    ASSERT_EQ(prompts.count(VelmorTest::RecordedPrompt::messageBox), 1u);
    const auto& box = prompts.prompts().back();
    EXPECT_EQ(box.text, L"Could not write the log file.");
    EXPECT_EQ(box.caption, L"Diagnostics");
    EXPECT_EQ(box.type, static_cast<UINT>(MB_ICONERROR));
    EXPECT_EQ(box.owner, window.handle());
}

TEST_F(DiagnosticViewTest, CopyPlacesTheViewOnTheClipboard)
{
    Log::write(Velmor::kLevelWarn, L"copied \u00FCber line");
    Log::refreshView();
    const std::wstring shown = view();
    Log::copyView();

    const std::wstring clipboard = clipboardText();
    EXPECT_EQ(clipboard, shown);
    EXPECT_NE(Log::snapshot().back().text.find(L"Current diagnostic view copied to the clipboard"), std::wstring::npos);
}

TEST_F(DiagnosticViewTest, EveryLinePostsLogChangedAndStatusNoticesPostTheirText)
{
    Log::write(Velmor::kLevelInfo, L"one");
    Log::writeStatus(L"Connecting to server...", false);
    VelmorTest::TestMainWindow::pumpMessages();
    EXPECT_EQ(window.postedCount(Velmor::logChanged), 2);
    EXPECT_EQ(window.postedCount(Velmor::statusUpdate), 1);
    const auto entries = Log::snapshot();
    EXPECT_NE(entries.back().text.find(L"[WARN] Connecting to server..."), std::wstring::npos);
    Log::writeStatus(L"Connected. Syncing presence and rooms...", true);
    EXPECT_NE(Log::snapshot().back().text.find(L"[INFO] Connected."), std::wstring::npos);
}

TEST_F(DiagnosticViewTest, ZeroBytesInThePreviousLogDoNotHideLaterLines)
{
    static constexpr char kTail[] = "10:00:00.000 [INFO] before\r\nbin\0ary\0\r\n"
                                    "10:00:00.000 [ERROR] after the zeros\r\n";
    writeFile(Log::logFilePath(), std::string(kTail, sizeof kTail - 1));
    Log::loadPrevious();
    const auto entries = Log::snapshot();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].text, L"bin\uFFFDary\uFFFD");
    EXPECT_EQ(entries[2].severity, Velmor::severityError);

    Log::refreshView();
    EXPECT_NE(view().find(L"after the zeros\r\n"), std::wstring::npos);
    EXPECT_EQ(lineCount(view()), 3);

    Log::copyView();
    const std::wstring clipboard = clipboardText();
    EXPECT_NE(clipboard.find(L"after the zeros"), std::wstring::npos);

    VelmorTest::PromptRecorder prompts;
    VelmorTest::TempDir folder;
    prompts.queueSavePath(folder.str() + L"\\export.log");
    Log::exportView();
    EXPECT_NE(readFile(folder.str() + L"\\export.log").find("after the zeros"), std::string::npos);
}

TEST_F(DiagnosticViewTest, CopyWhileAnotherProgramHoldsTheClipboardDoesNothing)
{
    Log::write(Velmor::kLevelInfo, L"not to be copied");
    Log::refreshView();
    ASSERT_TRUE(::OpenClipboard(window.handle()));
    ::EmptyClipboard();
    ::CloseClipboard();

    // Another window on another thread holds the clipboard open meanwhile.
    HANDLE held = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool holding = false;
    std::thread holder([&] {
        const HWND other = ::CreateWindowExW(0, L"STATIC", L"holder", 0, 0, 0, 10, 10, nullptr, nullptr,
                                             ::GetModuleHandleW(nullptr), nullptr);
        holding = ::OpenClipboard(other) != FALSE;
        ::SetEvent(held);
        ::WaitForSingleObject(release, 10000);
        if (holding) ::CloseClipboard();
        ::DestroyWindow(other);
    });
    ::WaitForSingleObject(held, 10000);
    const auto before = Log::snapshot().size();
    Log::copyView();
    const auto after = Log::snapshot().size();
    ::SetEvent(release);
    holder.join();
    ::CloseHandle(held);
    ::CloseHandle(release);

    ASSERT_TRUE(holding);
    EXPECT_EQ(after, before);  // nothing logged
    ASSERT_TRUE(::OpenClipboard(window.handle()));
    EXPECT_EQ(::GetClipboardData(CF_UNICODETEXT), nullptr);  // nothing placed
    ::CloseClipboard();
}

TEST_F(DiagnosticViewTest, FollowTailMovesTheCaretToTheEndOtherwiseTheViewStaysPut)
{
    const HWND box = window.child(Velmor::idLogViewBox);
    for (int i = 0; i < 300; ++i) Log::write(Velmor::kLevelInfo, L"event " + std::to_wstring(i));

    ::SendMessageW(window.child(Velmor::idFollowTailCheck), BM_SETCHECK, BST_CHECKED, 0);
    Log::refreshView();
    DWORD start = 0;
    DWORD end = 0;
    ::SendMessageW(box, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const DWORD length = static_cast<DWORD>(::GetWindowTextLengthW(box));
    EXPECT_EQ(start, length);
    EXPECT_EQ(end, length);
    EXPECT_GT(::SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), 200);  // scrolled to the tail

    ::SendMessageW(window.child(Velmor::idFollowTailCheck), BM_SETCHECK, BST_UNCHECKED, 0);
    ::SendMessageW(box, EM_SETSEL, 0, 0);
    ::SendMessageW(box, EM_SCROLLCARET, 0, 0);
    ::SendMessageW(box, EM_LINESCROLL, 0, 40);
    ASSERT_EQ(::SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), 40);
    Log::write(Velmor::kLevelInfo, L"one more");
    Log::refreshView();
    EXPECT_EQ(::SendMessageW(box, EM_GETFIRSTVISIBLELINE, 0, 0), 40);
    EXPECT_NE(view().find(L"one more"), std::wstring::npos);
}

TEST_F(DiagnosticViewTest, StatusNoticesCarryTheirTextAndOkFlag)
{
    Log::writeStatus(L"Connection lost. Reconnecting...", false);
    Log::writeStatus(L"Connected. Syncing presence and rooms...", true);
    std::vector<std::unique_ptr<Velmor::StatusUpdatePayload>> notices;
    MSG message;
    while (::PeekMessageW(&message, window.handle(), Velmor::statusUpdate, Velmor::statusUpdate, PM_REMOVE)) {
        EXPECT_EQ(message.wParam, 0u);
        notices.push_back(Velmor::adoptPayload<Velmor::StatusUpdatePayload>(message.lParam));
    }
    ASSERT_EQ(notices.size(), 2u);
    ASSERT_TRUE(notices[0] && notices[1]);
    EXPECT_EQ(notices[0]->text, L"Connection lost. Reconnecting...");
    EXPECT_FALSE(notices[0]->ok);
    EXPECT_EQ(notices[1]->text, L"Connected. Syncing presence and rooms...");
    EXPECT_TRUE(notices[1]->ok);
}

TEST_F(DiagnosticLogTest, NothingIsPostedWithoutAMainWindow)
{
    ASSERT_EQ(Velmor::mainWindowHandle(), nullptr);
    Log::writeStatus(L"Offline. Retrying in 1 seconds", false);  // must not crash or leak
    EXPECT_EQ(Log::snapshot().size(), 1u);
    Log::refreshView();    // no view: nothing happens
    Log::copyView();
    EXPECT_EQ(Log::snapshot().size(), 1u);
}

TEST(DiagnosticLogPath, MissingOrOverlongLocalAppDataFallsBackToTheCurrentFolder)
{
    VelmorTest::TempDir folder;
    wchar_t previous[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryW(folder.str().c_str()));
    EXPECT_EQ(Log::computeLogFilePath(nullptr), L".\\VelmorChat\\Logs\\client.log");
    EXPECT_EQ(Log::computeLogFilePath(L""), L".\\VelmorChat\\Logs\\client.log");
    EXPECT_EQ(Log::computeLogFilePath(std::wstring(300, L'x').c_str()), L".\\VelmorChat\\Logs\\client.log");
    EXPECT_TRUE(std::filesystem::is_directory(folder.path() / L"VelmorChat" / L"Logs"));
    ::SetCurrentDirectoryW(previous);

    const std::wstring inFolder = Log::computeLogFilePath(folder.str().c_str());
    EXPECT_EQ(inFolder, folder.str() + L"\\VelmorChat\\Logs\\client.log");
}

TEST(DiagnosticLogPath, TheEnvironmentIsReadThroughABufferOf260Characters)
{
    wchar_t previous[MAX_PATH] = {};
    ASSERT_GT(::GetEnvironmentVariableW(L"LOCALAPPDATA", previous, MAX_PATH), 0u);
    // The program's own log folder (support/log_folder.h) is where the log is.
    EXPECT_EQ(Log::logFilePath(), std::wstring(previous) + L"\\VelmorChat\\Logs\\client.log");

    const std::wstring longest = L"C:\\" + std::wstring(259 - 3, L'x');
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", longest.c_str());
    EXPECT_EQ(Log::localAppDataFromEnvironment(), longest);
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", (longest + L"y").c_str());  // 260: does not fit
    EXPECT_EQ(Log::localAppDataFromEnvironment(), L"");
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", L"");
    EXPECT_EQ(Log::localAppDataFromEnvironment(), L"");
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", nullptr);
    EXPECT_EQ(Log::localAppDataFromEnvironment(), L"");
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", L"D:\\Data");
    EXPECT_EQ(Log::localAppDataFromEnvironment(), L"D:\\Data");
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", previous);
}

TEST(ActivityTranscriptTest, AppendsOnlyWhileTheBoxExistsAndDropsWholeLines)
{
    Velmor::ActivityTranscript::append(L"lost: no main window");
    EXPECT_TRUE(Velmor::ActivityTranscript::text().empty());

    VelmorTest::TestMainWindow window({{Velmor::idTranscriptBox, L"EDIT", ES_MULTILINE | ES_READONLY | WS_VSCROLL}});
    Velmor::ActivityTranscript::append(L"first line");
    EXPECT_EQ(Velmor::ActivityTranscript::text(), L"first line\r\n");
    Velmor::ActivityTranscript::syncBox();
    EXPECT_EQ(windowText(window.child(Velmor::idTranscriptBox)), L"first line\r\n");

    // Fill to exactly 180,000 characters with 100-character lines, then add one more line.
    const std::wstring line(98, L'x');
    while (Velmor::ActivityTranscript::text().size() + 100 <= 180000 - 12) Velmor::ActivityTranscript::append(line);
    while (Velmor::ActivityTranscript::text().size() < 180000) {
        const std::size_t room = 180000 - Velmor::ActivityTranscript::text().size();
        Velmor::ActivityTranscript::append(std::wstring(room >= 3 ? room - 2 : 1, L'y'));
    }
    ASSERT_EQ(Velmor::ActivityTranscript::text().size(), 180000u);
    Velmor::ActivityTranscript::append(L"newest");
    const std::wstring& text = Velmor::ActivityTranscript::text();
    EXPECT_LE(text.size(), 180000u);
    EXPECT_EQ(text.find(L"first line"), std::wstring::npos);  // the oldest whole line is gone
    EXPECT_EQ(text.substr(0, 100), line + L"\r\n");
    EXPECT_EQ(text.substr(text.size() - 8), L"newest\r\n");
    Velmor::ActivityTranscript::syncBox();
    EXPECT_EQ(windowText(window.child(Velmor::idTranscriptBox)), text);

    // Lines between syncs reach the box together; trimming on the way too.
    for (int i = 0; i < 3000; ++i) Velmor::ActivityTranscript::append(L"burst line " + std::to_wstring(i));
    Velmor::ActivityTranscript::syncBox();
    EXPECT_EQ(windowText(window.child(Velmor::idTranscriptBox)), Velmor::ActivityTranscript::text());
    Velmor::ActivityTranscript::append(L"after the burst");
    Velmor::ActivityTranscript::syncBox();
    EXPECT_EQ(windowText(window.child(Velmor::idTranscriptBox)), Velmor::ActivityTranscript::text());

    // A box changed behind the transcript's back is replaced whole.
    ::SetWindowTextW(window.child(Velmor::idTranscriptBox), L"tampered");
    Velmor::ActivityTranscript::append(L"repaired");
    Velmor::ActivityTranscript::syncBox();
    EXPECT_EQ(windowText(window.child(Velmor::idTranscriptBox)), Velmor::ActivityTranscript::text());
}

TEST(ActivityTranscriptTest, AFloodBetweenSyncsStaysBoundedAndReplacesTheBox)
{
    VelmorTest::TestMainWindow window({{Velmor::idTranscriptBox, L"EDIT", ES_MULTILINE | ES_READONLY | WS_VSCROLL}});
    Velmor::ActivityTranscript::append(L"before the flood");
    Velmor::ActivityTranscript::syncBox();

    // Two million characters arrive before the next frame.
    const std::wstring line(98, L'f');
    for (int i = 0; i < 20000; ++i) {
        Velmor::ActivityTranscript::append(line);
        ASSERT_LE(Velmor::ActivityTranscript::pendingCharacters(), Velmor::ActivityTranscript::kMaxCharacters) << i;
    }
    Velmor::ActivityTranscript::append(L"last of the flood");
    const std::wstring& text = Velmor::ActivityTranscript::text();
    EXPECT_LE(text.size(), 180000u);
    EXPECT_GT(text.size(), 179000u);
    EXPECT_EQ(text.substr(0, 100), line + L"\r\n");  // whole lines only
    EXPECT_EQ(text.substr(text.size() - 19), L"last of the flood\r\n");
    Velmor::ActivityTranscript::syncBox();
    EXPECT_EQ(Velmor::ActivityTranscript::pendingCharacters(), 0u);
    EXPECT_EQ(windowText(window.child(Velmor::idTranscriptBox)), Velmor::ActivityTranscript::text());

    // Afterwards lines are appended to the box again.
    Velmor::ActivityTranscript::append(L"calm again");
    EXPECT_EQ(Velmor::ActivityTranscript::pendingCharacters(), 12u);
    Velmor::ActivityTranscript::syncBox();
    EXPECT_EQ(windowText(window.child(Velmor::idTranscriptBox)), Velmor::ActivityTranscript::text());
}

TEST(TextTrimming, DropLeadingLinesToFit)
{
    std::wstring text = L"aaa\r\nbbb\r\nccc\r\n";
    Velmor::dropLeadingLinesToFit(text, 15);
    EXPECT_EQ(text, L"aaa\r\nbbb\r\nccc\r\n");
    Velmor::dropLeadingLinesToFit(text, 14);  // excess 1: up to the first line feed at or after 1
    EXPECT_EQ(text, L"bbb\r\nccc\r\n");
    Velmor::dropLeadingLinesToFit(text, 4);  // excess 6: the line feed at 9 ends the cut
    EXPECT_EQ(text, L"");
    text = L"abcdefgh";
    Velmor::dropLeadingLinesToFit(text, 3);  // no line feed: just the excess
    EXPECT_EQ(text, L"fgh");
}

}  // namespace
