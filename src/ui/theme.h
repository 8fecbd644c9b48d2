// The three colour themes: the native palette with its seven shared brushes,
// the control colours of the main window's native children, and the Dear
// ImGui style the workspace is drawn with. Interface thread only.
#pragma once

#include <windows.h>

struct ImGuiStyle;

namespace Velmor {

inline constexpr int kThemeCount = 3;
inline constexpr int kPaletteRoleCount = 24;

struct ThemePalette {
    COLORREF colors[kPaletteRoleCount];
};

// 0, 1 or 2; anything else is theme 0.
int normalizedTheme(int theme);

const ThemePalette& themePalette(int theme);

// A colour of the current theme (`clientState().uiTheme`); black for a role
// outside 0..23.
COLORREF paletteColor(int role);

// "Graphite Dark", "Midnight Blue" or "Light Canvas" (theme 0 for anything else).
const wchar_t* themeName(int theme);

// --- Theme brushes: solid brushes of the current theme for roles 0, 5, 12,
// 14, 15, 10 and 16, owned here from start-up to shutdown.
void createThemeBrushes();
HBRUSH themeBrush(int role);  // nullptr for any other role or before creation
void deleteThemeBrushes();

// Re-creates the brushes from the current theme and repaints the native
// windows: the room list view's colours, the main window with its children,
// every open direct-message window and the toast banner. The class
// backgrounds of the client's window classes never point at a deleted brush:
// each class reachable through one of those windows is moved to the new
// brush, and an old brush that some class still uses is kept until no class
// uses it any more (or until deleteThemeBrushes).
void recreateThemeBrushes(HWND mainWindow);

// The toast module reports its banner here (nullptr when it is gone), so
// that a theme change repaints it.
void setToastWindowForRedraw(HWND toastWindow);

// Points the class background of `window`'s class (one of the client's three
// window classes) at the current theme brush of its role.
void adoptThemeClassBackground(HWND window);

// The theme change of the theme combo box and the settings page: uiTheme,
// the stored "UiTheme", the brushes and native repaint, the log line. The
// workspace style follows with applyImGuiTheme.
void changeTheme(HWND mainWindow, int index);

// --- Control colours: the main window's answer to WM_CTLCOLOREDIT,
// WM_CTLCOLORLISTBOX, WM_CTLCOLORBTN and WM_CTLCOLORSTATIC (wParam the
// device context, lParam the control). Returns the brush as the result.
LRESULT themeControlColor(UINT message, WPARAM wParam, LPARAM lParam);

// --- The workspace style (Dear ImGui; needs a current context).
// Resets the live style to the toolkit's defaults, applies the sizes and the
// colours of the current theme and captures the result as the base style.
void applyImGuiTheme();
const ImGuiStyle& baseStyle();
bool baseStyleCaptured();

}  // namespace Velmor
