// The frame timer's decisions over a scripted timeline.
#include "app/frame_pacer.h"

#include <gtest/gtest.h>

#include <cstdint>

using Velmor::FramePacer;
using Tick = FramePacer::Tick;

namespace {

// Runs the 16 ms timer from `from` to `to`, building every frame the pacer
// asks for (the frame itself takes `frameMs`); returns how many were built.
int run(FramePacer& pacer, std::uint64_t from, std::uint64_t to, int cursorToggleMs = -1, std::uint64_t frameMs = 0)
{
    int frames = 0;
    for (std::uint64_t now = from; now < to; now += 16) {
        if (pacer.onTick(now) != Tick::Draw) continue;
        now += frameMs;
        pacer.noteFrame(now, cursorToggleMs, false);
        ++frames;
    }
    return frames;
}

}  // namespace

TEST(FramePacer, DrawsAfterChangesUntilSettledThenNothing)
{
    FramePacer pacer;
    // The first frames after start-up, then silence: an idle window builds none.
    EXPECT_FALSE(pacer.resting(0));
    EXPECT_EQ(run(pacer, 0, 600), FramePacer::kSettleFrames);
    EXPECT_EQ(run(pacer, 600, 60'000), 0);
    EXPECT_TRUE(pacer.resting(60'000));

    // Input is drawn by the next tick, and every tick for half a second.
    pacer.noteInput(70'000);
    EXPECT_EQ(pacer.onTick(70'001), Tick::Draw);
    EXPECT_EQ(run(pacer, 70'001, 80'000), 32);

    // Any other change is drawn by the next three ticks.
    pacer.noteChange();
    EXPECT_EQ(run(pacer, 80'000, 90'000), FramePacer::kSettleFrames);

    // On a slow machine (a frame costs 400 ms) input still gets its three
    // frames.
    pacer.noteInput(90'000);
    EXPECT_EQ(run(pacer, 90'000, 100'000, -1, 400), 3);
}

TEST(FramePacer, AFocusedTextBoxRedrawsOnlyWhenItsCursorBlinks)
{
    FramePacer pacer;
    run(pacer, 0, 600);
    // A frame at 1,000 ms with a cursor changing in 400 ms: the next frame
    // comes at the first tick from 1,400 ms, not before.
    pacer.noteFrame(1'000, 400, false);
    EXPECT_EQ(pacer.onTick(1'399), Tick::Skip);
    EXPECT_EQ(pacer.onTick(1'400), Tick::Draw);
    EXPECT_FALSE(pacer.resting(1'399)) << "a blinking cursor needs the timer";
    // Ten seconds with a blinking cursor (every 400 to 800 ms) is about 17
    // frames, not 600.
    EXPECT_EQ(run(pacer, 1'400, 11'400, 600), 17);
    // The cursor's phases: shown up to 0.8 s of each 1.2 s, and while the
    // animation is held below zero after typing.
    EXPECT_EQ(Velmor::cursorToggleDelayMs(0.0f), 801);
    EXPECT_EQ(Velmor::cursorToggleDelayMs(0.5f), 301);
    EXPECT_EQ(Velmor::cursorToggleDelayMs(1.0f), 201);
    EXPECT_EQ(Velmor::cursorToggleDelayMs(2.5f), 701);
    EXPECT_EQ(Velmor::cursorToggleDelayMs(-0.3f), 1101);
}

TEST(FramePacer, AnOccludedWindowOnlyTestsUntilItShowsAgain)
{
    FramePacer pacer;
    run(pacer, 0, 600);
    pacer.noteInput(1'000);
    pacer.noteFrame(1'000, -1, true);  // the present said: covered
    for (std::uint64_t now = 1'016; now < 5'000; now += 16) {
        pacer.noteInput(now);  // input and messages keep arriving
        pacer.noteChange();
        ASSERT_EQ(pacer.onTick(now), Tick::TestOcclusion) << now;
        ASSERT_FALSE(pacer.resting(now)) << "an occluded window keeps asking";
    }
    pacer.noteShown(5'000);
    EXPECT_FALSE(pacer.occluded());
    EXPECT_EQ(pacer.onTick(5'000), Tick::Draw);
}
