// The workspace frame's width classes and the sizes that follow from them.
#include "ui/workspace_frame.h"

#include <gtest/gtest.h>

#include <string>

using namespace Velmor;

namespace {

TEST(FrameLayout, HeaderClassesFollowTheClientWidth)
{
    const FrameLayout wide = frameLayout(1480, 1452, 1.0f);
    EXPECT_FALSE(wide.compactHeader);
    EXPECT_FALSE(wide.lowHeader);
    EXPECT_FLOAT_EQ(wide.headerHeight, 67);

    const FrameLayout thousand = frameLayout(1000, 972, 1.0f);
    EXPECT_TRUE(thousand.compactHeader);
    EXPECT_FALSE(thousand.lowHeader);
    EXPECT_FLOAT_EQ(thousand.headerHeight, 67);

    const FrameLayout eightHundred = frameLayout(800, 772, 1.0f);
    EXPECT_TRUE(eightHundred.compactHeader);
    EXPECT_TRUE(eightHundred.lowHeader);
    EXPECT_FLOAT_EQ(eightHundred.headerHeight, 58);

    EXPECT_TRUE(frameLayout(1039.9f, 0, 1.0f).compactHeader);
    EXPECT_FALSE(frameLayout(1040, 0, 1.0f).compactHeader);
    EXPECT_TRUE(frameLayout(819, 0, 1.0f).lowHeader);
    EXPECT_FALSE(frameLayout(820, 0, 1.0f).lowHeader);
}

TEST(FrameLayout, RailClassesFollowTheAvailableWidth)
{
    const FrameLayout medium = frameLayout(800, 772, 1.0f);
    EXPECT_TRUE(medium.mediumRail);
    EXPECT_FALSE(medium.narrowRail);
    EXPECT_FLOAT_EQ(medium.railWidth, 122);
    EXPECT_FLOAT_EQ(medium.navButtonHeight, 35);

    const FrameLayout narrow = frameLayout(700, 719, 1.0f);
    EXPECT_TRUE(narrow.narrowRail);
    EXPECT_FLOAT_EQ(narrow.railWidth, 88);
    EXPECT_FLOAT_EQ(narrow.navButtonHeight, 35);

    EXPECT_FLOAT_EQ(frameLayout(1480, 850, 1.0f).railWidth, 165);    // 144.5 raised to the minimum
    EXPECT_FLOAT_EQ(frameLayout(1480, 1000, 1.0f).railWidth, 170);   // 17 %
    EXPECT_FLOAT_EQ(frameLayout(2560, 2000, 1.0f).railWidth, 205);   // capped
    EXPECT_FLOAT_EQ(frameLayout(1480, 1452, 1.0f).navButtonHeight, 41);
}

TEST(FrameLayout, EverySizeScalesWithTheInterface)
{
    // At 200 % a 1480-pixel client is a compact, low header over a medium rail.
    const FrameLayout doubled = frameLayout(1480, 1452, 2.0f);
    EXPECT_TRUE(doubled.compactHeader);
    EXPECT_TRUE(doubled.lowHeader);
    EXPECT_TRUE(doubled.mediumRail);
    EXPECT_FALSE(doubled.narrowRail);
    EXPECT_FLOAT_EQ(doubled.headerHeight, 116);
    EXPECT_FLOAT_EQ(doubled.railWidth, 244);
    EXPECT_FLOAT_EQ(doubled.navButtonHeight, 70);
    EXPECT_FLOAT_EQ(frameLayout(1480, 1439, 2.0f).railWidth, 176);
    EXPECT_FLOAT_EQ(frameLayout(3000, 2000, 2.0f).railWidth, 340);
}

TEST(FrameLayout, IdentityBoxWidth)
{
    EXPECT_FLOAT_EQ(identityBoxWidth(1000, false, 1.0f), 185);  // 220 capped
    EXPECT_FLOAT_EQ(identityBoxWidth(600, false, 1.0f), 132);
    EXPECT_FLOAT_EQ(identityBoxWidth(400, false, 1.0f), 112);   // 88 raised
    EXPECT_FLOAT_EQ(identityBoxWidth(1000, true, 1.0f), 155);   // 200 capped
    EXPECT_FLOAT_EQ(identityBoxWidth(700, true, 1.0f), 140);
    EXPECT_FLOAT_EQ(identityBoxWidth(500, true, 1.0f), 112);
    EXPECT_FLOAT_EQ(identityBoxWidth(1000, true, 2.0f), 224);
}

TEST(FrameLayout, NavigationLabelsByWidthClass)
{
    EXPECT_EQ(std::string(navigationLabel(0, false, false)), "01   Room chat");
    EXPECT_EQ(std::string(navigationLabel(6, false, false)), "07   Diagnostics");
    EXPECT_EQ(std::string(navigationLabel(1, true, false)), "People");
    EXPECT_EQ(std::string(navigationLabel(1, true, true)), "Users");
    EXPECT_EQ(std::string(navigationLabel(5, true, true)), "Setup");
    EXPECT_EQ(std::string(navigationLabel(6, true, false)), "Logs");
    EXPECT_EQ(std::string(navigationLabel(9, false, false)), "");
}

}  // namespace
