#include "app/placement.h"

#include <algorithm>
#include <cmath>

namespace Velmor {
namespace {
int roundHalfAway(double value) { return static_cast<int>(std::round(value)); }
}

WindowRect mainWindowPlacement(int workLeft, int workTop, int workWidth, int workHeight, double scale)
{
    const int wantedWidth = roundHalfAway(kWantedWidth * scale);
    const int wantedHeight = roundHalfAway(kWantedHeight * scale);
    WindowRect rect;
    rect.width = std::min(wantedWidth, std::max(workWidth - 32, kMinimumWidth));
    rect.height = std::min(wantedHeight, std::max(workHeight - 32, kMinimumHeight));
    rect.x = workLeft + std::max(0, (std::max(workWidth, kMinimumWidth) - rect.width) / 2);
    rect.y = workTop + std::max(0, (std::max(workHeight, kMinimumHeight) - rect.height) / 2);
    return rect;
}

TrackSize minimumTrackSize(double scale, int workWidth, int workHeight)
{
    const int width = std::min(roundHalfAway(kMinimumWidth * scale), workWidth);
    const int height = std::min(roundHalfAway(kMinimumHeight * scale), workHeight);
    return TrackSize{std::max(width, 1), std::max(height, 1)};
}

}  // namespace Velmor
