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

TEST(MainWindowPlacement, NeverOpensBelowTheMinimumTrackSize)
{
    // 200 % on an 832 x 632 work area: the scaled minimum (capped to the work
    // area) is 832 x 632, so the window opens at that size at the work area's
    // corner instead of 800 x 600 at (16, 16), which would grow past its edges.
    expectRect(mainWindowPlacement(0, 0, 832, 632, 2.0), 0, 0, 832, 632);
    expectRect(mainWindowPlacement(50, 30, 832, 632, 2.0), 50, 30, 832, 632);
    expectRect(mainWindowPlacement(0, 0, 1000, 700, 2.0), 0, 0, 1000, 700);
    // Wide but short: the usual margin across, the full height down.
    expectRect(mainWindowPlacement(0, 0, 2560, 800, 2.0), 16, 0, 2528, 800);
    // 150 % on 1366 x 710: the minimum height 690 eats into the margin.
    expectRect(mainWindowPlacement(0, 0, 1366, 710, 1.5), 16, 10, 1334, 690);
}

TEST(MainWindowPlacement, FitsTheWorkAreaWheneverItCan)
{
    for (const double scale : {0.75, 1.0, 1.25, 1.5, 2.0, 2.5, 3.0}) {
        for (const int width : {640, 680, 700, 800, 832, 1024, 1280, 1366, 1920, 2560, 3840}) {
            for (const int height : {440, 460, 480, 600, 632, 720, 768, 1080, 1440, 2160}) {
                SCOPED_TRACE(testing::Message() << width << "x" << height << " at " << scale);
                const WindowRect rect = mainWindowPlacement(-200, 40, width, height, scale);
                const TrackSize minimum = minimumTrackSize(scale, width, height);
                EXPECT_GE(rect.width, minimum.width);
                EXPECT_GE(rect.height, minimum.height);
                EXPECT_GE(rect.x, -200);
                EXPECT_GE(rect.y, 40);
                if (width >= kMinimumWidth) {
                    EXPECT_LE(rect.x + rect.width, -200 + width);
                }
                if (height >= kMinimumHeight) {
                    EXPECT_LE(rect.y + rect.height, 40 + height);
                }
            }
        }
    }
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
