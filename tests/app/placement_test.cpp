// Where the main window opens and how small it may be dragged.
#include "app/placement.h"

#include <gtest/gtest.h>

using namespace Velmor;

namespace {

void expectRect(const WindowRect& rect, int x, int y, int width, int height)
{
    EXPECT_EQ(rect.x, x);
    EXPECT_EQ(rect.y, y);
    EXPECT_EQ(rect.width, width);
    EXPECT_EQ(rect.height, height);
}

TEST(MainWindowPlacement, FitsSmallWorkAreasWithAMargin)
{
    expectRect(mainWindowPlacement(0, 0, 1280, 720, 1.0), 16, 16, 1248, 688);
    expectRect(mainWindowPlacement(100, 40, 1280, 720, 1.0), 116, 56, 1248, 688);  // relative to the work area
}

TEST(MainWindowPlacement, CentresTheWantedSizeOnLargeWorkAreas)
{
    expectRect(mainWindowPlacement(0, 0, 1920, 1080, 1.0), 220, 70, 1480, 940);
    expectRect(mainWindowPlacement(0, 0, 1920, 1080, 1.25), 35, 16, 1850, 1048);  // 1175 high does not fit
    expectRect(mainWindowPlacement(0, 0, 1920, 1080, 2.0), 16, 16, 1888, 1048);
}

TEST(MainWindowPlacement, NarrowWorkAreasKeepTheMinimumWidth)
{
    expectRect(mainWindowPlacement(0, 0, 600, 500, 1.0), 0, 16, 680, 468);
    expectRect(mainWindowPlacement(0, 0, 700, 400, 1.0), 10, 0, 680, 460);
}

TEST(MainWindowPlacement, HalvesRoundAwayFromZero)
{
    // 1480 x 0.8125 = 1202.5 becomes 1203 (not the even 1202); 940 x 0.8125 = 763.75.
    const WindowRect rect = mainWindowPlacement(0, 0, 4000, 3000, 0.8125);
    EXPECT_EQ(rect.width, 1203);
    EXPECT_EQ(rect.height, 764);
    EXPECT_EQ(rect.x, 1398);  // (4000 - 1203) / 2, halves by integer division
    EXPECT_EQ(rect.y, 1118);
}

TEST(MinimumTrackSize, ScalesWithTheDpiButNeverExceedsTheWorkArea)
{
    const TrackSize normal = minimumTrackSize(1.0, 1920, 1080);
    EXPECT_EQ(normal.width, 680);
    EXPECT_EQ(normal.height, 460);
    const TrackSize doubled = minimumTrackSize(2.0, 1920, 1080);
    EXPECT_EQ(doubled.width, 1360);
    EXPECT_EQ(doubled.height, 920);
    const TrackSize small = minimumTrackSize(2.0, 832, 632);
    EXPECT_EQ(small.width, 832);
    EXPECT_EQ(small.height, 632);
    const TrackSize tiny = minimumTrackSize(1.0, 0, -5);
    EXPECT_EQ(tiny.width, 1);
    EXPECT_EQ(tiny.height, 1);
}

}  // namespace
