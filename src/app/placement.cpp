#include "app/placement.h"

#include <algorithm>
#include <cmath>

namespace Velmor {
namespace {
int roundHalfAway(double value) { return static_cast<int>(std::round(value)); }

// Moves a span of `size` starting at `start` inside [low, low + room) when it
// fits there; a span larger than the room keeps its start.
int keepInside(int start, int size, int low, int room)
{
    if (size > room) return start;
    return std::clamp(start, low, low + room - size);
}
}  // namespace

WindowRect mainWindowPlacement(int workLeft, int workTop, int workWidth, int workHeight, double scale)
{
    const int wantedWidth = roundHalfAway(kWantedWidth * scale);
    const int wantedHeight = roundHalfAway(kWantedHeight * scale);
    // The window procedure will not let the window be smaller than the minimum
    // tracking size; a placement below it would be grown in place, past the
    // work area's edges. So the placement starts from that minimum.
    const TrackSize minimum = minimumTrackSize(scale, workWidth, workHeight);
    WindowRect rect;
    rect.width = std::max(std::min(wantedWidth, std::max(workWidth - 32, kMinimumWidth)), minimum.width);
    rect.height = std::max(std::min(wantedHeight, std::max(workHeight - 32, kMinimumHeight)), minimum.height);
    rect.x = workLeft + std::max(0, (std::max(workWidth, kMinimumWidth) - rect.width) / 2);
    rect.y = workTop + std::max(0, (std::max(workHeight, kMinimumHeight) - rect.height) / 2);
    rect.x = keepInside(rect.x, rect.width, workLeft, workWidth);
    rect.y = keepInside(rect.y, rect.height, workTop, workHeight);
    return rect;
}

TrackSize minimumTrackSize(double scale, int workWidth, int workHeight)
{
    const int width = std::min(roundHalfAway(kMinimumWidth * scale), workWidth);
    const int height = std::min(roundHalfAway(kMinimumHeight * scale), workHeight);
    return TrackSize{std::max(width, 1), std::max(height, 1)};
}

}  // namespace Velmor
