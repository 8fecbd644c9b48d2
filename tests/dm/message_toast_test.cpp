// The desktop banner: one at a time, sound and flash rules, its placement in
// a work area, its painting, and what a click or its timer does.
#include "dm/message_toast.h"

#include "app/dpi.h"
#include "dm/direct_messages.h"
#include "session/client_state.h"
#include "support/dm_fixture.h"
#include "support/log_folder.h"
#include "ui/control_ids.h"
#include "ui/theme.h"

#include <gtest/gtest.h>

#include <array>

using namespace Velmor;
using VelmorTest::RecordedPrompt;

namespace {

using Edges = std::array<LONG, 4>;
Edges edges(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

class ToastTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        VelmorTest::registerConversationClasses();
        clientState().setUsername("me");
        clientState().notificationSound = true;
        clientState().blockedUsers.clear();
    }
    void TearDown() override { VelmorTest::closeConversationWindows(); }

    static std::vector<HWND> banners() { return VelmorTest::threadWindowsOfClass(kToastWindowClass); }

    VelmorTest::SessionWindow window;
    VelmorTest::PromptRecorder prompts;
};

TEST(ToastPlacement, SitsAboveTheLowerRightCornerAndNeverLeavesTheTopLeft)
{
    EXPECT_EQ(edges(toastRectangle({0, 0, 1920, 1040}, 1.0)), (Edges{1542, 892, 1902, 992}));
    EXPECT_EQ(edges(toastRectangle({0, 0, 1920, 1080}, 1.5)), (Edges{1353, 858, 1893, 1008}));
    EXPECT_EQ(edges(toastRectangle({-1280, 200, 0, 1224}, 1.0)), (Edges{-378, 1076, -18, 1176}));
    // A work area smaller than the banner: pinned 8 from its left and top.
    EXPECT_EQ(edges(toastRectangle({100, 50, 300, 120}, 1.0)), (Edges{108, 58, 468, 158}));
    EXPECT_EQ(edges(toastRectangle({100, 50, 300, 120}, 2.0)), (Edges{116, 66, 836, 266}));
}

TEST_F(ToastTest, ASecondMessageReplacesTheBanner)
{
    showMessageToast(L"amy", L"one");
    const std::vector<HWND> first = banners();
    ASSERT_EQ(first.size(), 1u);
    showMessageToast(L"bob", L"two");
    const std::vector<HWND> second = banners();
    ASSERT_EQ(second.size(), 1u);
    EXPECT_FALSE(::IsWindow(first[0]));

    const HWND banner = second[0];
    EXPECT_EQ(toastState().toastWindow, banner);
    EXPECT_EQ(toastState().toastSender, L"bob");
    EXPECT_EQ(toastState().toastTitle, L"Private message from bob");
    EXPECT_EQ(toastState().toastBody, L"two");
    EXPECT_TRUE(::IsWindowVisible(banner));
    EXPECT_NE(::GetForegroundWindow(), banner);

    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromWindow(window.handle(), MONITOR_DEFAULTTONEAREST), &monitor));
    RECT placed = {};
    ::GetWindowRect(banner, &placed);
    EXPECT_EQ(edges(placed), edges(toastRectangle(monitor.rcWork, windowDpiScale(window.handle()))));

    ::SendMessageW(banner, WM_TIMER, 77, 0);  // not its timer
    EXPECT_TRUE(::IsWindow(banner));
    ::SendMessageW(banner, WM_TIMER, kToastLifetimeTimerId, 0);
    EXPECT_FALSE(::IsWindow(banner));
    EXPECT_EQ(toastState().toastWindow, nullptr);
}

TEST_F(ToastTest, TheSoundFollowsTheSettingAndTheBannerShowsEitherWay)
{
    clientState().notificationSound = false;
    showMessageToast(L"amy", L"quiet");
    EXPECT_EQ(prompts.count(RecordedPrompt::beep), 0u);
    EXPECT_EQ(banners().size(), 1u);

    clientState().notificationSound = true;
    showMessageToast(L"amy", L"loud");
    ASSERT_EQ(prompts.count(RecordedPrompt::beep), 1u);
    EXPECT_EQ(prompts.prompts()[1].kind, RecordedPrompt::beep);  // after the first banner's flash
    EXPECT_EQ(prompts.prompts()[1].type, static_cast<UINT>(MB_OK));
}

TEST_F(ToastTest, TheTaskbarFlashesOnlyWhenTheClientIsNotInFront)
{
    showMessageToast(L"amy", L"while hidden");
    ASSERT_EQ(prompts.count(RecordedPrompt::flash), 1u);
    EXPECT_EQ(prompts.prompts().back().owner, window.handle());

    ::ShowWindow(window.handle(), SW_SHOW);
    ::SetForegroundWindow(window.handle());
    ASSERT_EQ(::GetForegroundWindow(), window.handle());
    showMessageToast(L"amy", L"while in front");
    EXPECT_EQ(prompts.count(RecordedPrompt::flash), 1u);
    EXPECT_EQ(::GetForegroundWindow(), window.handle());  // the banner took nothing either
}

TEST_F(ToastTest, AClickAnywhereOpensTheConversationInFront)
{
    showMessageToast(L"amy", L"click me");
    const HWND banner = toastState().toastWindow;
    EXPECT_EQ(::SendMessageW(banner, WM_NCHITTEST, 0, MAKELPARAM(0, 0)), HTCLIENT);
    ::SendMessageW(banner, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    EXPECT_FALSE(::IsWindow(banner));
    const HWND amy = directMessageWindowOf(L"amy");
    ASSERT_NE(amy, nullptr);
    EXPECT_EQ(::GetForegroundWindow(), amy);
}

// Painting into a bitmap: the rounded card, its border, the accent bar and
// the two texts in their colours, nothing outside the card's rounded corners.
TEST(ToastPainting, DrawsTheCardBarAndTexts)
{
    constexpr int kWidth = 360;
    constexpr int kHeight = 100;
    constexpr COLORREF kUntouched = RGB(255, 0, 255);
    const HDC screen = ::GetDC(nullptr);
    const HDC dc = ::CreateCompatibleDC(screen);
    const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, kWidth, kHeight);
    ::ReleaseDC(nullptr, screen);
    const HGDIOBJ previous = ::SelectObject(dc, bitmap);
    const RECT client = {0, 0, kWidth, kHeight};
    const HBRUSH untouched = ::CreateSolidBrush(kUntouched);
    ::FillRect(dc, &client, untouched);
    ::DeleteObject(untouched);

    paintToast(dc, client, 1.0, nullptr, nullptr, L"Private message from amy", L"hello & welcome");

    EXPECT_EQ(::GetPixel(dc, 0, 0), kUntouched);  // outside the rounded corner
    EXPECT_EQ(::GetPixel(dc, kWidth - 1, kHeight - 1), kUntouched);
    EXPECT_EQ(::GetPixel(dc, 180, 0), paletteColor(23));
    EXPECT_EQ(::GetPixel(dc, 180, kHeight - 1), paletteColor(23));
    EXPECT_EQ(::GetPixel(dc, 300, 95), paletteColor(5));
    EXPECT_EQ(::GetPixel(dc, 2, 8), paletteColor(10));
    EXPECT_EQ(::GetPixel(dc, 4, 91), paletteColor(10));
    EXPECT_NE(::GetPixel(dc, 2, 7), paletteColor(10));
    EXPECT_NE(::GetPixel(dc, 5, 50), paletteColor(10));
    EXPECT_NE(::GetPixel(dc, 2, 92), paletteColor(10));

    const auto countIn = [dc](COLORREF colour, int left, int top, int right, int bottom) {
        int count = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) count += ::GetPixel(dc, x, y) == colour ? 1 : 0;
        return count;
    };
    EXPECT_GT(countIn(paletteColor(8), 18, 12, kWidth - 16, 38), 20);  // the title
    EXPECT_EQ(countIn(paletteColor(8), 0, 38, kWidth, kHeight), 0);
    EXPECT_GT(countIn(paletteColor(9), 18, 39, kWidth - 16, kHeight - 12), 20);  // the body
    EXPECT_EQ(countIn(paletteColor(9), 0, 0, kWidth, 39), 0);

    ::SelectObject(dc, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
}

}  // namespace
