// The main window's hidden native controls: the boxes, lists and buttons the
// commands read and write, the shared interface fonts, the painters of
// owner-drawn buttons and roster rows, and the subclasses that turn Enter in
// the room message box and clicks on the roster lists into commands.
// Interface thread only.
#pragma once

#include <windows.h>

namespace Velmor {

// What a room gets as its game when the game box is left empty.
inline constexpr wchar_t kDefaultGameTitle[] = L"Stronghold Crusader";

inline constexpr UINT kRosterItemHeight = 27;

// Builds every control as a child of the main window (called from its
// WM_CREATE): reads the language and sound settings, creates the fonts and the
// controls, subclasses the lists, loads the stored lists and the tail of the
// previous log, applies the interface language, fills the roster lists and
// selects page 0. The caller hides the controls.
void buildNativeSurface(HWND mainWindow);

// The shared fonts; the interface font is the stock DEFAULT_GUI_FONT when
// "Segoe UI" could not be created (and likewise for the other two).
HFONT interfaceFont();
HFONT titleFont();
HFONT consoleFont();
// Deletes the fonts this module created; never a stock font.
void deleteSurfaceFonts();

// Refills the online, friends and recent list boxes of the main window from
// the client's lists and updates the online count label.
void refreshRosterListBoxes();

// --- Painting (WM_DRAWITEM, WM_MEASUREITEM) -----------------------------------
struct ButtonColors {
    COLORREF fill;
    COLORREF border;
    COLORREF text;
};

// Primary buttons: connect, create room, join, send, "+ Add" and the
// direct-message send button.
bool isPrimaryButton(int controlId);

// The colours of an owner-drawn button in `theme` for the given ODS_* state:
// disabled wins over hot, hot over pressed.
ButtonColors chooseButtonColors(int controlId, UINT itemState, int theme);

// Any owner-drawn button of the client (the navigation buttons get their own look).
void paintOwnerDrawnButton(const DRAWITEMSTRUCT& item);
void paintNavigationButton(const DRAWITEMSTRUCT& item);
// A row of one of the four roster list boxes.
void paintRosterListItem(const DRAWITEMSTRUCT& item);
// Item height for the roster list boxes; false for any other control.
bool measureRosterListItem(MEASUREITEMSTRUCT& item);

// --- Subclasses ----------------------------------------------------------------
// Enter (with or without Shift) in the room message box sends command 1012 to
// its parent instead of reaching the edit.
bool installRoomMessageSubclass(HWND editBox);
// Context-menu requests and left clicks on a row of a roster list box post
// playerMenuRequest with the list's id to its parent.
bool installRosterListSubclass(HWND listBox);

}  // namespace Velmor
