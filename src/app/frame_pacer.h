// When the main window's frame timer should build a frame. The timer ticks
// every 16 ms, but a frame is worth building only when something it shows may
// have changed: input, a message from the session, a command, a timer of the
// client's own, a size, DPI, theme or language change. After any change a few
// more frames let the toolkit settle (pop-ups size themselves on their second
// frame); after input the frames go on for half a second (hover highlights
// and tooltip delays run out); a focused text box redraws when its cursor
// blinks; an occluded window builds nothing and only asks, on later ticks,
// whether it shows again. Byte-level: no Windows header, the caller passes
// the time (milliseconds of a steady clock).
#pragma once

#include <cstdint>

namespace Velmor {

class FramePacer {
public:
    // Frames after a change: at least this many; after input, also for at
    // least this long.
    static constexpr int kSettleFrames = 3;
    static constexpr std::uint64_t kInputSettleMs = 500;

    enum class Tick {
        Skip,            // nothing to draw
        Draw,            // build and present a frame
        TestOcclusion,   // ask the swap chain whether the window shows again
    };

    // Something the workspace shows may have changed: by input at `now`, or
    // otherwise (a message, a command, a timer).
    void noteInput(std::uint64_t now);
    void noteChange();

    // A frame was built and presented at `now`. `cursorToggleMs`: when a text
    // box has the keyboard, the milliseconds until its cursor next appears or
    // disappears (negative: no text box is focused). `occluded`: the present
    // reported the window covered.
    void noteFrame(std::uint64_t now, int cursorToggleMs, bool occluded);

    // The occlusion test found the window visible again.
    void noteShown(std::uint64_t now);

    Tick onTick(std::uint64_t now) const;

    // Nothing will be worth drawing until the next change: the timer may
    // stop ticking meanwhile (a change starts it again).
    bool resting(std::uint64_t now) const;

    bool occluded() const { return occluded_; }

private:
    int framesOwed_ = kSettleFrames;  // the first frames are always drawn
    std::uint64_t settleUntil_ = 0;
    std::uint64_t cursorFrameAt_ = 0;  // 0: no blinking cursor
    bool occluded_ = false;
};

// The milliseconds until a blinking text cursor changes, given its animation
// time in seconds (the toolkit shows it while the time is at most 0 and for
// the first 0.8 s of every 1.2 s).
int cursorToggleDelayMs(float cursorAnimation);

}  // namespace Velmor
