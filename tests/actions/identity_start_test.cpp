// The first accepted name starts the session once; later names are stored and
// wait for the next connection. No server listens here, so the worker only
// ever fails to connect, which is all this program needs.
#include "actions/identity.h"

#include "diagnostics/diagnostic_log.h"
#include "session/session.h"
#include "support/main_window_fixture.h"
#include "support/prompt_recorder.h"
#include "support/registry.h"
#include "support/temp_dir.h"
#include "ui/control_ids.h"
#include "ui/workspace_state.h"

#include <gtest/gtest.h>

using namespace Velmor;

namespace {

std::wstring storedName()
{
    DWORD type = 0;
    std::vector<unsigned char> data;
    if (!VelmorTest::readRawValue(L"Username", type, data) || type != REG_SZ) return L"<missing>";
    return std::wstring(reinterpret_cast<const wchar_t*>(data.data()));
}

TEST(IdentityStart, AcceptedNamesAreTrimmedStoredAndStartTheSessionOnce)
{
    VelmorTest::TempDir logs;
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", logs.str().c_str());
    VelmorTest::deleteSettingsKey();
    VelmorTest::SessionWindow window;
    ::CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 100, 20, window.handle(),
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(idUserNameBox)), nullptr, nullptr);
    VelmorTest::PromptRecorder prompts;

    const std::string sixtyFour(64, 'z');
    workspaceState().identityInput = "  " + sixtyFour + "\t";
    ASSERT_FALSE(sessionStarted());
    applyIdentity();
    EXPECT_TRUE(prompts.prompts().empty());
    EXPECT_TRUE(sessionStarted());
    EXPECT_EQ(workspaceState().identityInput, sixtyFour);
    EXPECT_EQ(clientState().readUsername(), sixtyFour);
    EXPECT_EQ(window.label(idUserNameBox), std::wstring(64, L'z'));
    EXPECT_EQ(storedName(), std::wstring(64, L'z'));

    // Still not connected: the new name is kept for the next attempt.
    workspaceState().identityInput = " Zo\xC3\xAB ";
    applyIdentity();
    EXPECT_EQ(clientState().readUsername(), "Zo\xC3\xAB");
    EXPECT_EQ(storedName(), L"Zo\u00EB");
    bool announced = false;
    for (const LogEntry& entry : DiagnosticLog::snapshot()) {
        announced = announced || entry.text.find(L"[WARN] Connecting to server...") != std::wstring::npos;
    }
    EXPECT_TRUE(announced);

    stopSession();
    EXPECT_FALSE(clientState().connected);
    VelmorTest::deleteSettingsKey();
}

}  // namespace
