// Without LOCALAPPDATA the log lives under the current folder. The path is
// computed once per process, so this check has a program of its own that
// clears the variable before the log is first used.
#include "diagnostics/diagnostic_log.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace Log = Velmor::DiagnosticLog;

namespace {

TEST(DiagnosticLogPath, AnUnsetLocalAppDataPutsTheLogUnderTheCurrentFolder)
{
    VelmorTest::TempDir folder;
    wchar_t previous[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(::SetCurrentDirectoryW(folder.str().c_str()));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"LOCALAPPDATA", nullptr));

    EXPECT_EQ(Log::logFilePath(), L".\\VelmorChat\\Logs\\client.log");
    Log::write(Velmor::kLevelInfo, L"Application started");
    const std::filesystem::path file = folder.path() / L"VelmorChat" / L"Logs" / L"client.log";
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    EXPECT_NE(bytes.str().find("[INFO] Application started\r\n"), std::string::npos);

    // Set later, the variable changes nothing: the path is kept for the run.
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", folder.str().c_str());
    EXPECT_EQ(Log::logFilePath(), L".\\VelmorChat\\Logs\\client.log");
    ::SetCurrentDirectoryW(previous);
}

}  // namespace
