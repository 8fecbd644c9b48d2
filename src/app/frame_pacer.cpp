#include "app/frame_pacer.h"

#include <algorithm>
#include <cmath>

namespace Velmor {

void FramePacer::noteInput(std::uint64_t now)
{
    noteChange();
    settleUntil_ = std::max(settleUntil_, now + kInputSettleMs);
}

void FramePacer::noteChange() { framesOwed_ = std::max(framesOwed_, kSettleFrames); }

void FramePacer::noteFrame(std::uint64_t now, int cursorToggleMs, bool occluded)
{
    if (framesOwed_ > 0) --framesOwed_;
    cursorFrameAt_ = cursorToggleMs < 0 ? 0 : now + static_cast<std::uint64_t>(cursorToggleMs);
    occluded_ = occluded;
}

void FramePacer::noteShown(std::uint64_t now)
{
    occluded_ = false;
    noteInput(now);
}

FramePacer::Tick FramePacer::onTick(std::uint64_t now) const
{
    if (occluded_) return Tick::TestOcclusion;
    if (framesOwed_ > 0 || now < settleUntil_) return Tick::Draw;
    if (cursorFrameAt_ != 0 && now >= cursorFrameAt_) return Tick::Draw;
    return Tick::Skip;
}

bool FramePacer::resting(std::uint64_t now) const
{
    return !occluded_ && framesOwed_ == 0 && now >= settleUntil_ && cursorFrameAt_ == 0;
}

int cursorToggleDelayMs(float cursorAnimation)
{
    constexpr float kPeriod = 1.2f;
    constexpr float kShown = 0.8f;
    float seconds = 0;
    if (cursorAnimation < 0) {
        seconds = kShown - cursorAnimation;
    } else {
        const float phase = std::fmod(cursorAnimation, kPeriod);
        seconds = phase < kShown ? kShown - phase : kPeriod - phase;
    }
    // Just past the change, so the frame shows it.
    return static_cast<int>(std::lround(seconds * 1000.0f)) + 1;
}

}  // namespace Velmor
