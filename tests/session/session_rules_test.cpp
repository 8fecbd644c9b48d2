// The session's timing decisions, driven with time as input.
#include "session/session_rules.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

using namespace Velmor;

TEST(SessionRules, ReconnectWaitsDoubleUpToAMinute)
{
    std::vector<int> waits;
    int delay = kFirstReconnectDelaySeconds;
    for (int attempt = 0; attempt < 9; ++attempt) {
        waits.push_back(delay);
        delay = nextReconnectDelay(delay);
    }
    EXPECT_EQ(waits, (std::vector<int>{1, 2, 4, 8, 16, 32, 60, 60, 60}));
}

TEST(SessionRules, KeepAliveScheduleOverTheFirstTwoMinutes)
{
    // One tick every 10 seconds while connected.
    std::vector<int> pings, userLists, roomLists;
    for (unsigned tick = 1; tick <= 12; ++tick) {
        const int seconds = static_cast<int>(tick) * 10;
        const KeepAliveActions actions = keepAliveActions(tick);
        if (actions.ping) pings.push_back(seconds);
        if (actions.listUsers) userLists.push_back(seconds);
        if (actions.listRooms) roomLists.push_back(seconds);
    }
    EXPECT_EQ(pings, (std::vector<int>{20, 40, 60, 80, 100, 120}));
    EXPECT_EQ(userLists, (std::vector<int>{30, 60, 90, 120}));
    EXPECT_EQ(roomLists, (std::vector<int>{60, 120}));
    EXPECT_EQ(kKeepAliveTick, std::chrono::seconds(10));
}

TEST(SessionRules, SilenceMeansMoreThan55SecondsSinceTheLastPong)
{
    const std::uint64_t pong = 1'000'000;
    EXPECT_FALSE(linkIsSilent(pong, pong));
    EXPECT_FALSE(linkIsSilent(pong, pong + 55'000));
    EXPECT_TRUE(linkIsSilent(pong, pong + 55'001));
    EXPECT_FALSE(linkIsSilent(0, pong + 100'000));    // no sign of life recorded yet
    EXPECT_FALSE(linkIsSilent(pong, pong - 1));       // a clock behind the record
}

TEST(SessionRules, ReceivedMessagesWaitWhileTheInterfaceHasTooManyInHand)
{
    constexpr std::size_t kMiB = 1024 * 1024;
    // A message on its own always goes, even one larger than the byte bound.
    EXPECT_TRUE(mayPostServerText(0, 0, 20 * kMiB));
    EXPECT_TRUE(mayPostServerText(1, 10, 100));
    // Bytes: up to the bound exactly, not beyond.
    EXPECT_TRUE(mayPostServerText(3, 6 * kMiB, 2 * kMiB));
    EXPECT_FALSE(mayPostServerText(3, 6 * kMiB, 2 * kMiB + 1));
    EXPECT_FALSE(mayPostServerText(1, 1, kMaxServerTextBytesInFlight));
    EXPECT_FALSE(mayPostServerText(1, 0, SIZE_MAX));  // no overflow in the sum
    // Count: small messages are bounded too, below the system's 10,000.
    EXPECT_TRUE(mayPostServerText(kMaxServerTextsInFlight - 1, 0, 4));
    EXPECT_FALSE(mayPostServerText(kMaxServerTextsInFlight, 0, 4));
    EXPECT_LT(kMaxServerTextsInFlight, 10000u);
}
