#include "app/dpi.h"

#include "platform/system_library.h"

#include <algorithm>
#include <cmath>

namespace Velmor {
namespace {

template <typename Function>
Function user32Function(const char* name)
{
    return libraryFunction<Function>(::GetModuleHandleW(L"user32.dll"), name);
}

using SetProcessDpiAwarenessContextFunction = BOOL(WINAPI*)(HANDLE);
using SetProcessDpiAwareFunction = BOOL(WINAPI*)();
using GetDpiForSystemFunction = UINT(WINAPI*)();
using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);

// DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2; declared here because the
// headers offer it only to programs that require Windows 10.
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-4));

}  // namespace

void enableDpiAwareness()
{
    static const auto setContext = user32Function<SetProcessDpiAwarenessContextFunction>("SetProcessDpiAwarenessContext");
    if (setContext && setContext(kPerMonitorAwareV2)) return;
    static const auto setAware = user32Function<SetProcessDpiAwareFunction>("SetProcessDPIAware");
    if (setAware) setAware();
}

unsigned systemDpi()
{
    static const auto getDpiForSystem = user32Function<GetDpiForSystemFunction>("GetDpiForSystem");
    if (getDpiForSystem) {
        if (const UINT dpi = getDpiForSystem(); dpi != 0) return dpi;
    }
    const HDC screen = ::GetDC(nullptr);
    if (!screen) return 96;
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return dpi < 1 ? 96u : static_cast<unsigned>(dpi);
}

float clampedDpiScale(unsigned dpi)
{
    const float scale = static_cast<float>(dpi == 0 ? 96u : dpi) / 96.0f;
    return std::clamp(scale, 0.75f, 3.0f);
}

float windowDpiScale(HWND window)
{
    static const auto getDpiForWindow = user32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    unsigned dpi = 0;
    if (window && getDpiForWindow) dpi = getDpiForWindow(window);
    if (dpi == 0) dpi = systemDpi();
    return clampedDpiScale(dpi);
}

int roundHalfAway(double value) { return static_cast<int>(std::round(value)); }

int scaledPixels(double pixels, double scale) { return std::max(roundHalfAway(pixels * scale), 1); }

HFONT createScaledFont(HWND window, int pixels, int weight)
{
    const int height = -std::max(roundHalfAway(pixels * static_cast<double>(windowDpiScale(window))), 1);
    return ::CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                         CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
}

}  // namespace Velmor
