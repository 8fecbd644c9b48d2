// Subclasses of the hidden controls: Enter in the room message box sends the
// room message; a click or a context-menu request on a roster row asks the
// main window for the player menu.
#include "platform/app_messages.h"
#include "ui/control_ids.h"
#include "ui/native_surface.h"

#include <commctrl.h>
#include <windowsx.h>

namespace Velmor {
namespace {

constexpr UINT_PTR kRoomMessageSubclassId = 1;
constexpr UINT_PTR kRosterListSubclassId = 2;

LRESULT CALLBACK roomMessageProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    switch (message) {
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            ::SendMessageW(::GetParent(edit), WM_COMMAND, MAKEWPARAM(idSendButton, 0), 0);
            return 0;
        }
        break;
    case WM_CHAR:
        // The character that the consumed Enter key produces would only make
        // the single-line edit beep.
        if (wParam == L'\r' || wParam == L'\n') return 0;
        break;
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(edit, &roomMessageProc, kRoomMessageSubclassId);
        break;
    }
    return ::DefSubclassProc(edit, message, wParam, lParam);
}

// The row under a point in client coordinates, or -1 when the point is on no
// row (below the last one, or outside the list).
int rowAtPoint(HWND listBox, POINT point)
{
    const LRESULT hit = ::SendMessageW(listBox, LB_ITEMFROMPOINT, 0, MAKELPARAM(point.x, point.y));
    if (hit == LB_ERR || HIWORD(hit) != 0) return -1;
    const int row = LOWORD(hit);
    // The hit flag alone is not trusted: the nearest row may be returned for
    // a point below the last one.
    RECT rowRect = {};
    if (::SendMessageW(listBox, LB_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rowRect)) ==
            LB_ERR ||
        !::PtInRect(&rowRect, point)) {
        return -1;
    }
    return row;
}

void postPlayerMenuRequest(HWND listBox)
{
    ::PostMessageW(::GetParent(listBox), playerMenuRequest, static_cast<WPARAM>(::GetDlgCtrlID(listBox)), 0);
}

LRESULT CALLBACK rosterListProc(HWND listBox, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    switch (message) {
    case WM_CONTEXTMENU: {
        POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        const bool fromKeyboard = point.x == -1 && point.y == -1;
        if (!fromKeyboard) {
            ::ScreenToClient(listBox, &point);
            const int row = rowAtPoint(listBox, point);
            if (row < 0) return 0;
            ::SendMessageW(listBox, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
        }
        postPlayerMenuRequest(listBox);
        return 0;
    }
    case WM_LBUTTONUP: {
        const LRESULT result = ::DefSubclassProc(listBox, message, wParam, lParam);
        if (rowAtPoint(listBox, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}) >= 0) postPlayerMenuRequest(listBox);
        return result;
    }
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(listBox, &rosterListProc, kRosterListSubclassId);
        break;
    }
    return ::DefSubclassProc(listBox, message, wParam, lParam);
}

}  // namespace

bool installRoomMessageSubclass(HWND editBox)
{
    return editBox && ::SetWindowSubclass(editBox, &roomMessageProc, kRoomMessageSubclassId, 0);
}

bool installRosterListSubclass(HWND listBox)
{
    return listBox && ::SetWindowSubclass(listBox, &rosterListProc, kRosterListSubclassId, 0);
}

}  // namespace Velmor
