// One interface frame of the main window: a borderless Dear ImGui window over
// the whole client area with the header (product mark, identity box, connect
// button, connection badge), the navigation rail and the active page. The
// layout adapts to the client width in fixed steps, every size scaled by the
// window's DPI.
#pragma once

#include <windows.h>

namespace Velmor {

class Renderer;

// Called by the 16 ms frame timer. Skips the frame while the toolkit, the
// device or the render target is missing, or the window is minimised.
void renderFrame(HWND mainWindow, Renderer& renderer, bool imguiReady);

// The layout's width classes, from the client width and the root window's
// available width after the header (both in pixels) at scale `scale`.
struct FrameLayout {
    bool compactHeader = false;  // client width < 1040 s
    bool lowHeader = false;      // client width < 820 s
    bool mediumRail = false;     // available width < 850 s
    bool narrowRail = false;     // available width < 720 s
    float headerHeight = 0;      // 58 s when low, else 67 s
    float railWidth = 0;
    float navButtonHeight = 0;   // 35 s medium or narrow, else 41 s
};
FrameLayout frameLayout(float clientWidth, float availableWidth, float scale);

// The identity box's width for a header of inner width `headerWidth`.
float identityBoxWidth(float headerWidth, bool compactHeader, float scale);

// The rail's page buttons: label by width class.
const char* navigationLabel(int page, bool mediumRail, bool narrowRail);

}  // namespace Velmor
