// Renames once the session runs, against the local server (run through
// scripts/lib/with_local_server.sh): the same name again sends nothing, a new
// name while connected is sent as "set_username", and a new name while the
// worker is offline only waits for the next connection.
#include "actions/identity.h"

#include "diagnostics/diagnostic_log.h"
#include "json/json_value.h"
#include "session/session.h"
#include "support/log_folder.h"
#include "support/main_window_fixture.h"
#include "support/prompt_recorder.h"
#include "support/registry.h"
#include "support/server_control.h"
#include "ui/control_ids.h"
#include "ui/workspace_state.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

using namespace Velmor;
using namespace std::chrono_literals;

namespace {

bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        VelmorTest::TestMainWindow::pumpMessages();
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
}

std::size_t countStatus(const std::wstring& text)
{
    std::size_t count = 0;
    for (const std::wstring& status : VelmorTest::TestMainWindow::statusTexts()) count += status == text ? 1 : 0;
    return count;
}

// The "set_username" requests the server received, as the names they asked for.
std::vector<std::string> renamesReceived(const VelmorTest::ServerControl& control)
{
    std::vector<std::string> names;
    for (const std::string& line : control.requestLines()) {
        const auto record = parseJsonDocument(line);
        if (!record || memberText(*record, "type") != "set_username") continue;
        const auto request = parseJsonDocument(memberText(*record, "text"));
        names.push_back(request ? memberText(*request, "username") : "<unreadable>");
    }
    return names;
}

std::size_t logLinesWith(const std::wstring& text)
{
    std::size_t count = 0;
    for (const LogEntry& entry : DiagnosticLog::snapshot()) count += entry.text.find(text) != std::wstring::npos;
    return count;
}

void apply(const std::string& typed)
{
    workspaceState().identityInput = typed;
    applyIdentity();
}

TEST(IdentityRename, SameNameSendsNothingNewNameRenamesOfflineNameWaits)
{
    VelmorTest::ServerControl control;
    control.get("/reset");
    VelmorTest::deleteSettingsKey();
    VelmorTest::SessionWindow window;
    ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 100, 20, window.handle(),
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(idUserNameBox)), nullptr, nullptr);
    VelmorTest::PromptRecorder prompts;

    apply("RenameAmy");
    // The worker sets the flag before it posts the notice: wait for the
    // notice, so that it is not counted as one the same name caused.
    ASSERT_TRUE(pumpUntil([] { return countStatus(L"Connected. Syncing presence and rooms...") == 1; }, 60s));
    ASSERT_TRUE(clientState().connected);
    ASSERT_TRUE(control.waitForUser("RenameAmy"));

    // The same name (the box's spaces trimmed away) changes nothing.
    const std::size_t statusBefore = VelmorTest::TestMainWindow::statusTexts().size();
    apply("  RenameAmy ");
    VelmorTest::TestMainWindow::pumpMessages();
    EXPECT_EQ(VelmorTest::TestMainWindow::statusTexts().size(), statusBefore);
    EXPECT_EQ(logLinesWith(L"set_username"), 0u);

    // A new name is sent; the server's record keeps the order of one
    // connection, so a request from the call above would come first.
    apply("RenameBea");
    EXPECT_TRUE(pumpUntil([] { return countStatus(L"Username updated") == 1; }, 30s));
    EXPECT_EQ(logLinesWith(L"[INFO] Username updated"), 1u);
    std::vector<std::string> renames;
    ASSERT_TRUE(pumpUntil([&] { return !(renames = renamesReceived(control)).empty(); }, 30s));
    EXPECT_EQ(renames, std::vector<std::string>{"RenameBea"});
    EXPECT_TRUE(control.waitForUser("RenameBea"));

    // Offline, with the worker waiting out its 4-second back-off after
    // refused attempts (long enough that no attempt of its own lands among
    // the lines checked below, however late the status is pumped): a new name
    // is only kept for the next connection.
    control.get("/fault?name=refuse_upgrade&status=503");
    control.get("/drop?user=RenameBea");
    ASSERT_TRUE(pumpUntil([] { return countStatus(L"Offline. Retrying in 4 seconds") == 1; }, 60s));
    ASSERT_FALSE(clientState().connected);
    const std::size_t warningsBefore = logLinesWith(L"[WARN] Connecting to server...");
    apply("RenameCy");
    ASSERT_FALSE(DiagnosticLog::snapshot().empty());
    EXPECT_NE(DiagnosticLog::snapshot().back().text.find(L"[WARN] Connecting to server..."), std::wstring::npos);
    EXPECT_EQ(logLinesWith(L"[WARN] Connecting to server..."), warningsBefore + 1);
    EXPECT_EQ(logLinesWith(L"set_username"), 1u);  // still only the rename above: nothing was tried

    control.get("/clear_faults");
    EXPECT_TRUE(control.waitForUser("RenameCy", true, 60s));  // the next connection uses the new name
    EXPECT_EQ(renamesReceived(control), std::vector<std::string>{"RenameBea"});
    EXPECT_TRUE(prompts.prompts().empty());

    stopSession();
    VelmorTest::deleteSettingsKey();
}

}  // namespace
