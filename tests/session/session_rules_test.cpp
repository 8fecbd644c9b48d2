// The session's timing decisions, driven with time as input.
#include "session/session_rules.h"

#include <gtest/gtest.h>

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
