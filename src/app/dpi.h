// DPI awareness and scaling. The newer DPI functions are looked up at run time
// (once each), so the program still starts on systems that lack them.
#pragma once

#include <windows.h>

namespace Velmor {

// Per-monitor awareness version 2 where available, else system awareness.
void enableDpiAwareness();

// GetDpiForSystem, else the screen's LOGPIXELSX, else 96.
unsigned systemDpi();

// The window's DPI (GetDpiForWindow, else the system DPI) divided by 96,
// clamped to 0.75 .. 3.0. A null window uses the system DPI.
float windowDpiScale(HWND window);

// DPI / 96 clamped to 0.75 .. 3.0 (a DPI of 0 counts as 96).
float clampedDpiScale(unsigned dpi);

// N pixels at scale s: round(N * s), at least 1.
int scaledPixels(double pixels, double scale);

// Rounds to the nearest integer, halves away from zero.
int roundHalfAway(double value);

// A "Segoe UI" font of `pixels` scaled for the window.
HFONT createScaledFont(HWND window, int pixels, int weight);

}  // namespace Velmor
