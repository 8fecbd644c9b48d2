// Where the main window opens and how small it may get: pure arithmetic on the
// work area and the scale, so it can be checked for any screen.
#pragma once

namespace Velmor {

struct WindowRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

inline constexpr int kWantedWidth = 1480;
inline constexpr int kWantedHeight = 940;
inline constexpr int kMinimumWidth = 680;
inline constexpr int kMinimumHeight = 460;

// The main window's rectangle for a work area (left, top, width, height) at
// interface scale `scale` (already clamped to 0.75 .. 3.0). It is never below
// minimumTrackSize for the same scale and work area, and it lies inside the
// work area whenever its size fits there.
WindowRect mainWindowPlacement(int workLeft, int workTop, int workWidth, int workHeight, double scale);

struct TrackSize {
    int width = 0;
    int height = 0;
};

// The smallest size the user may drag the main window to at scale `scale`:
// 680 x 460 scaled, but never more than the work area of the window's monitor
// (at 200 % on a small screen the scaled minimum would push the window past
// the screen's edges, out of the user's reach).
TrackSize minimumTrackSize(double scale, int workWidth, int workHeight);

}  // namespace Velmor
