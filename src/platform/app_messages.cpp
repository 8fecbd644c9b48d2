#include "platform/app_messages.h"

#include <atomic>

namespace Velmor {
namespace {
std::atomic<HWND> gMainWindow{nullptr};
}

HWND mainWindowHandle() noexcept { return gMainWindow.load(); }

void setMainWindowHandle(HWND window) noexcept { gMainWindow.store(window); }

bool postToMainWindow(UINT message, WPARAM wParam, LPARAM lParam) noexcept
{
    const HWND window = mainWindowHandle();
    return window && ::PostMessageW(window, message, wParam, lParam);
}

}  // namespace Velmor
