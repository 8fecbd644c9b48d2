// The conversation window itself: its class, its children and their layout,
// the Enter key of the input box, colours, fonts per DPI, and the end of the
// record with the window.
#include "dm/direct_messages.h"

#include "app/dpi.h"
#include "app/main_window.h"
#include "i18n/localize.h"
#include "platform/app_messages.h"
#include "platform/unique_handle.h"
#include "session/client_state.h"
#include "ui/control_ids.h"
#include "ui/native_surface.h"
#include "ui/theme.h"

#include <commctrl.h>

#include <algorithm>

namespace Velmor {
namespace {

HINSTANCE gInstance = nullptr;

constexpr UINT_PTR kEnterSubclassId = 1;

constexpr DWORD kTranscriptStyle =
    WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY | ES_NOHIDESEL;
constexpr DWORD kInputStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kSendStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;

HINSTANCE moduleInstance() { return gInstance ? gInstance : ::GetModuleHandleW(nullptr); }

bool plainEnter(WPARAM key) { return key == VK_RETURN && (::GetKeyState(VK_SHIFT) & 0x8000) == 0; }

// Enter without Shift is the Send command; the edit never sees it (nor the
// character it would produce, which a single-line edit answers with a beep).
LRESULT CALLBACK inputBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id, DWORD_PTR)
{
    if (message == WM_KEYDOWN && plainEnter(wParam)) {
        const HWND window = ::GetParent(box);
        ::SendMessageW(window, WM_COMMAND, MAKEWPARAM(idDmSendButton, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(window, idDmSendButton)));
        return 0;
    }
    if (message == WM_CHAR && plainEnter(wParam)) return 0;
    if (message == WM_NCDESTROY) ::RemoveWindowSubclass(box, inputBoxProc, id);
    return ::DefSubclassProc(box, message, wParam, lParam);
}

HWND createChild(HWND window, const wchar_t* className, const wchar_t* text, DWORD exStyle, DWORD style, int id,
                 const ChildBounds& bounds)
{
    return ::CreateWindowExW(exStyle, className, text, style, bounds.x, bounds.y, bounds.width, bounds.height, window,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), moduleInstance(), nullptr);
}

void createChildren(HWND window)
{
    const double scale = windowDpiScale(window);
    const auto px = [scale](int pixels) { return scaledPixels(pixels, scale); };
    createChild(window, L"EDIT", L"", WS_EX_CLIENTEDGE, kTranscriptStyle, idDmTranscriptBox,
                {px(14), px(14), px(500), px(380)});
    const HWND input =
        createChild(window, L"EDIT", L"", WS_EX_CLIENTEDGE, kInputStyle, idDmInputBox, {px(14), px(404), px(400), px(32)});
    createChild(window, L"BUTTON", localize(L"Send").c_str(), 0, kSendStyle, idDmSendButton,
                {px(422), px(404), px(92), px(32)});
    applyDirectMessageFont(window);
    if (input) ::SetWindowSubclass(input, inputBoxProc, kEnterSubclassId, 0);
}

void layOut(HWND window, int width, int height)
{
    const DirectMessageLayout layout = directMessageLayout(width, height, windowDpiScale(window));
    const auto place = [window](int id, const ChildBounds& bounds) {
        if (const HWND child = ::GetDlgItem(window, id))
            ::MoveWindow(child, bounds.x, bounds.y, bounds.width, bounds.height, FALSE);
    };
    place(idDmTranscriptBox, layout.transcript);
    place(idDmInputBox, layout.input);
    place(idDmSendButton, layout.send);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// The window's last message: its font, timer, map entry and record go.
void releaseWindow(HWND window)
{
    if (const auto font = static_cast<HFONT>(::RemovePropW(window, kDirectMessageFontProperty))) ::DeleteObject(font);
    ::KillTimer(window, kDirectMessageAckTimerId);

    const std::unique_ptr<DirectMessageWindow> record(directMessageRecord(window));
    ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    auto& windows = clientState().dmWindows;
    for (auto entry = windows.begin(); entry != windows.end();) {
        // Only an entry that still names this window: a newer window for the
        // same peer keeps its entry.
        entry = entry->second == window ? windows.erase(entry) : std::next(entry);
    }
}

}  // namespace

DirectMessageLayout directMessageLayout(int width, int height, double scale)
{
    const auto px = [scale](int pixels) { return scaledPixels(pixels, scale); };
    const int margin = px(14);
    const int gap = px(8);
    const int row = px(34);
    const int buttonWidth = px(94);
    const int transcriptHeight = std::max(px(100), height - 3 * margin - row);
    const int rowTop = margin + transcriptHeight + gap;

    DirectMessageLayout layout;
    layout.transcript = {margin, margin, std::max(px(200), width - 2 * margin), transcriptHeight};
    layout.input = {margin, rowTop, std::max(px(120), width - 2 * margin - buttonWidth - gap), row};
    layout.send = {width - buttonWidth - margin, rowTop, buttonWidth, row};
    return layout;
}

void applyDirectMessageFont(HWND window)
{
    const auto previous = static_cast<HFONT>(::GetPropW(window, kDirectMessageFontProperty));
    UniqueFont fresh(createScaledFont(window, 16, FW_NORMAL));
    HFONT given = nullptr;
    if (fresh && ::SetPropW(window, kDirectMessageFontProperty, fresh.get())) {
        given = fresh.release();
    } else {
        fresh.reset();
        given = previous ? previous : interfaceFont();
    }
    for (const int id : {idDmTranscriptBox, idDmInputBox, idDmSendButton}) {
        if (const HWND child = ::GetDlgItem(window, id))
            ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(given), TRUE);
    }
    if (previous && given != previous) ::DeleteObject(previous);
}

HWND createDirectMessageWindow(const std::wstring& peerName)
{
    // Sized for the system DPI: the window's own DPI is not known before it
    // exists.
    const double scale = windowDpiScale(nullptr);
    const std::wstring title = localize(L"Direct message  ·  ") + peerName;
    return ::CreateWindowExW(WS_EX_APPWINDOW, kDirectMessageWindowClass, title.c_str(),
                             WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                             scaledPixels(700, scale), scaledPixels(540, scale), mainWindowHandle(), nullptr,
                             moduleInstance(), nullptr);
}

bool registerDirectMessageWindowClass(HINSTANCE instance)
{
    gInstance = instance;
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = directMessageWindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(kApplicationIconId));
    windowClass.hbrBackground = themeBrush(0);
    windowClass.lpszClassName = kDirectMessageWindowClass;
    return ::RegisterClassExW(&windowClass) != 0;
}

LRESULT CALLBACK directMessageWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        createChildren(window);
        return 0;
    case WM_SIZE:
        layOut(window, LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_ERASEBKGND: {
        RECT client = {};
        ::GetClientRect(window, &client);
        ::FillRect(reinterpret_cast<HDC>(wParam), &client, themeBrush(0));
        return 1;
    }
    case WM_GETMINMAXINFO: {
        const double scale = windowDpiScale(window);
        auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
        limits->ptMinTrackSize = {scaledPixels(480, scale), scaledPixels(340, scale)};
        return 0;
    }
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item->CtlID == static_cast<UINT>(idDmSendButton)) paintOwnerDrawnButton(*item);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == idDmSendButton && HIWORD(wParam) == BN_CLICKED) {
            if (DirectMessageWindow* conversation = directMessageRecord(window)) sendDirectMessage(*conversation);
        }
        return 0;
    case WM_TIMER:
        if (wParam != kDirectMessageAckTimerId) break;
        if (DirectMessageWindow* conversation = directMessageRecord(window)) {
            expireDirectMessage(*conversation);
        } else {
            ::KillTimer(window, kDirectMessageAckTimerId);
        }
        return 0;
    case WM_CTLCOLOREDIT: {
        const auto dc = reinterpret_cast<HDC>(wParam);
        ::SetTextColor(dc, paletteColor(8));
        ::SetBkColor(dc, paletteColor(5));
        return reinterpret_cast<LRESULT>(themeBrush(5));
    }
    case WM_CTLCOLORSTATIC: {
        const auto dc = reinterpret_cast<HDC>(wParam);
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, paletteColor(8));
        return reinterpret_cast<LRESULT>(themeBrush(0));
    }
    case WM_DPICHANGED: {
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(window, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        applyDirectMessageFont(window);
        return 0;
    }
    case WM_NCDESTROY:
        releaseWindow(window);
        break;
    default:
        break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace Velmor
