#include "dm/message_toast.h"

#include "app/dpi.h"
#include "dm/direct_messages.h"
#include "i18n/localize.h"
#include "platform/app_messages.h"
#include "platform/unique_handle.h"
#include "platform/user_prompts.h"
#include "session/client_state.h"
#include "ui/control_ids.h"
#include "ui/theme.h"

#include <algorithm>

namespace Velmor {
namespace {

ToastState gToast;
HINSTANCE gInstance = nullptr;

void forgetToastWindow(HWND window)
{
    if (gToast.toastWindow != window) return;
    gToast.toastWindow = nullptr;
    setToastWindowForRedraw(nullptr);
}

// The work area of the monitor nearest to the main window, else the primary
// work area, else the whole primary screen.
RECT toastWorkArea(HWND mainWindow)
{
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (const HMONITOR nearest = ::MonitorFromWindow(mainWindow, MONITOR_DEFAULTTONEAREST);
        nearest && ::GetMonitorInfoW(nearest, &monitor)) {
        return monitor.rcWork;
    }
    RECT work = {};
    if (::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) return work;
    return {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

void paintWindow(HWND window)
{
    PAINTSTRUCT paint = {};
    const HDC dc = ::BeginPaint(window, &paint);
    if (dc) {
        RECT client = {};
        ::GetClientRect(window, &client);
        const UniqueFont titleFont(createScaledFont(window, 17, FW_BOLD));
        const UniqueFont bodyFont(createScaledFont(window, 14, FW_NORMAL));
        paintToast(dc, client, windowDpiScale(window), titleFont.get(), bodyFont.get(), gToast.toastTitle,
                   gToast.toastBody);
    }
    ::EndPaint(window, &paint);
}

void drawLine(HDC dc, HFONT font, COLORREF colour, const std::wstring& text, RECT bounds, UINT format)
{
    const ScopedSelectObject selectFont(dc, font);
    ::SetTextColor(dc, colour);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &bounds, format | DT_NOPREFIX | DT_END_ELLIPSIS);
}

}  // namespace

const ToastState& toastState() { return gToast; }

RECT toastRectangle(const RECT& workArea, double scale)
{
    const auto px = [scale](int pixels) { return scaledPixels(pixels, scale); };
    const int width = px(360);
    const int height = px(100);
    const int x = std::max(workArea.left + px(8), workArea.right - px(18) - width);
    const int y = std::max(workArea.top + px(8), workArea.bottom - px(48) - height);
    return {x, y, x + width, y + height};
}

void paintToast(HDC dc, const RECT& client, double scale, HFONT titleFont, HFONT bodyFont, const std::wstring& title,
                const std::wstring& body)
{
    const auto px = [scale](int pixels) { return scaledPixels(pixels, scale); };
    {
        const UniqueBrush fill(::CreateSolidBrush(paletteColor(5)));
        const UniquePen border(::CreatePen(PS_SOLID, 1, paletteColor(23)));
        const ScopedSelectObject selectBrush(dc, fill.get());
        const ScopedSelectObject selectPen(dc, border.get());
        ::RoundRect(dc, client.left, client.top, client.right, client.bottom, px(14), px(14));
    }
    {
        const UniqueBrush accent(::CreateSolidBrush(paletteColor(10)));
        const RECT bar = {client.left, client.top + px(8), client.left + px(5), client.bottom - px(8)};
        ::FillRect(dc, &bar, accent.get());
    }
    ::SetBkMode(dc, TRANSPARENT);
    drawLine(dc, titleFont, paletteColor(8), title,
             {client.left + px(18), client.top + px(12), client.right - px(16), client.top + px(38)},
             DT_SINGLELINE | DT_VCENTER);
    drawLine(dc, bodyFont, paletteColor(9), body,
             {client.left + px(18), client.top + px(39), client.right - px(16), client.bottom - px(12)},
             DT_WORDBREAK);
}

void showMessageToast(const std::wstring& sender, const std::wstring& text)
{
    if (clientState().notificationSound) playBeep(MB_OK);
    const HWND mainWindow = mainWindowHandle();
    if (mainWindow && ::GetForegroundWindow() != mainWindow) flashUntilForeground(mainWindow);

    gToast.toastSender = sender;
    gToast.toastTitle = localize(L"Private message from ") + sender;
    gToast.toastBody = text;
    if (gToast.toastWindow) ::DestroyWindow(gToast.toastWindow);

    const RECT bounds = toastRectangle(toastWorkArea(mainWindow), windowDpiScale(mainWindow));
    const HWND window = ::CreateWindowExW(WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kToastWindowClass,
                                          L"Velmor Chat Notification", WS_POPUP, bounds.left, bounds.top,
                                          bounds.right - bounds.left, bounds.bottom - bounds.top, mainWindow, nullptr,
                                          gInstance ? gInstance : ::GetModuleHandleW(nullptr), nullptr);
    if (!window) return;
    gToast.toastWindow = window;
    setToastWindowForRedraw(window);
    ::SetWindowPos(window, HWND_TOPMOST, bounds.left, bounds.top, bounds.right - bounds.left,
                   bounds.bottom - bounds.top, SWP_NOACTIVATE | SWP_SHOWWINDOW);
    ::SetTimer(window, kToastLifetimeTimerId, kToastLifetimeMs, nullptr);
    ::InvalidateRect(window, nullptr, TRUE);
    ::UpdateWindow(window);
}

bool registerToastWindowClass(HINSTANCE instance)
{
    gInstance = instance;
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = toastWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = themeBrush(5);
    windowClass.lpszClassName = kToastWindowClass;
    return ::RegisterClassExW(&windowClass) != 0;
}

LRESULT CALLBACK toastWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT:
        paintWindow(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the paint covers every pixel
    case WM_NCHITTEST:
        return HTCLIENT;
    case WM_TIMER:
        if (wParam != kToastLifetimeTimerId) break;
        ::KillTimer(window, kToastLifetimeTimerId);
        forgetToastWindow(window);
        ::DestroyWindow(window);
        return 0;
    case WM_LBUTTONUP: {
        const std::wstring sender = gToast.toastSender;
        forgetToastWindow(window);
        ::DestroyWindow(window);
        if (!sender.empty()) openDirectMessage(sender, true);
        return 0;
    }
    case WM_NCDESTROY:
        forgetToastWindow(window);
        break;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace Velmor
