// The identity command's refusals (an accepted name starts the session, which
// the end-to-end tests cover against the local server).
#include "actions/identity.h"

#include "session/session.h"
#include "support/main_window_fixture.h"
#include "support/prompt_recorder.h"
#include "support/registry.h"
#include "ui/control_ids.h"
#include "ui/workspace_state.h"

#include <gtest/gtest.h>

using namespace Velmor;

namespace {

class IdentityTest : public ::testing::Test {
protected:
    IdentityTest()
    {
        ::CreateWindowExW(0, L"EDIT", L"previous", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 100, 20, window.handle(),
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(idUserNameBox)), nullptr, nullptr);
        VelmorTest::deleteSettingsKey();
        workspaceState().identityFocusRequest = false;
    }
    ~IdentityTest() override { VelmorTest::deleteSettingsKey(); }

    void expectRefusedWith(const wchar_t* text)
    {
        ASSERT_EQ(prompts.prompts().size(), 1u);
        EXPECT_EQ(prompts.prompts()[0].text, text);
        EXPECT_EQ(prompts.prompts()[0].caption, L"Sign in");
        EXPECT_EQ(prompts.prompts()[0].type, static_cast<UINT>(MB_ICONINFORMATION));
        EXPECT_EQ(prompts.prompts()[0].owner, window.handle());
        EXPECT_TRUE(workspaceState().identityFocusRequest);
        EXPECT_FALSE(sessionStarted());
        EXPECT_EQ(clientState().readUsername(), "");
        EXPECT_EQ(SettingsStoreProbe::storedName(), L"");
    }

    struct SettingsStoreProbe {
        static std::wstring storedName()
        {
            DWORD type = 0;
            std::vector<unsigned char> data;
            if (!VelmorTest::readRawValue(L"Username", type, data)) return L"";
            return std::wstring(reinterpret_cast<const wchar_t*>(data.data()), data.size() / 2);
        }
    };

    VelmorTest::SessionWindow window;
    VelmorTest::PromptRecorder prompts;
};

TEST_F(IdentityTest, OnlySpacesAreRefusedAsEmptyAndClearTheBoxes)
{
    workspaceState().identityInput = " \t\xC2\xA0 ";
    applyIdentity();
    expectRefusedWith(L"Please enter your name to connect.");
    EXPECT_EQ(workspaceState().identityInput, "");
    EXPECT_EQ(window.label(idUserNameBox), L"");
}

TEST_F(IdentityTest, SixtyFiveCodeUnitsAreTooLong)
{
    const std::string tooLong = "  " + std::string(65, 'a') + "  ";
    workspaceState().identityInput = tooLong;
    applyIdentity();
    expectRefusedWith(L"Username is too long. The maximum length is 64 characters.");
    EXPECT_EQ(workspaceState().identityInput, tooLong);  // the untrimmed text stays
    EXPECT_EQ(window.label(idUserNameBox), L"previous");
}

TEST_F(IdentityTest, SixtyFourCharactersOutsideTheBasicPlaneAreTooLong)
{
    std::string faces;
    for (int i = 0; i < 64; ++i) faces += "\xF0\x9F\x98\x80";  // 128 UTF-16 code units
    workspaceState().identityInput = faces;
    applyIdentity();
    expectRefusedWith(L"Username is too long. The maximum length is 64 characters.");
}

TEST(IdentityLength, CountsTrimmedUtf16CodeUnits)
{
    EXPECT_EQ(identityLength(""), 0u);
    EXPECT_EQ(identityLength("   "), 0u);
    EXPECT_EQ(identityLength(" " + std::string(64, 'x') + " "), 64u);
    EXPECT_EQ(identityLength(std::string(65, 'x')), 65u);
    EXPECT_EQ(identityLength("\xF0\x9F\x98\x80"), 2u);
    EXPECT_EQ(identityLength("Zo\xC3\xAB"), 3u);
}

}  // namespace
