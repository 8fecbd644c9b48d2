// One interface frame of the main window: a borderless Dear ImGui window over
// the whole client area with the header (product mark, identity box, connect
// button, connection badge), the navigation rail and the active page. The
// layout adapts to the client width in fixed steps, every size scaled by the
// window's DPI.
#pragma once

#include <windows.h>

#include <string>

namespace Velmor {

class Renderer;

// Called by the 16 ms frame timer. Skips the frame (false) while the toolkit,
// the device or the render target is missing, the window is minimised, or a
// frame is already being built (a modal loop inside a frame delivers timers).
bool renderFrame(HWND mainWindow, Renderer& renderer, bool imguiReady);

// After a frame: when a text box has the keyboard and its cursor blinks, the
// milliseconds until the cursor next appears or disappears; otherwise -1.
int textCursorToggleMs();

// The parts of a frame between the back-ends: the theme and the style scaled
// by `scale` (before the toolkit's new frame), and the workspace window over
// a client area of `width` x `height` (after it). The header runs
// `applyIdentityCommand` when the user applies a name; renderFrame passes
// applyIdentity.
using IdentityCommand = void (*)();
void applyFrameStyle(float scale);
void drawWorkspace(HWND mainWindow, float width, float height, float scale, IdentityCommand applyIdentityCommand);

// The header's decisions. The identity can be applied (button enabled, Enter
// accepted) when its trimmed UTF-16 length is 1 to 64; the button reads
// "Connect", or when connected "Update identity" ("Update" when compact).
// "STUDIO / COMMUNITY" and the connection badge need a header inner width
// above 600 s, and above 110 s (compact) or 210 s, respectively.
bool identityApplicable(const std::string& identityText);
const char* connectButtonLabel(bool connected, bool compactHeader);
bool showsStudioMark(float headerWidth, float scale);
bool showsConnectionBadge(float headerWidth, bool compactHeader, float scale);

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
