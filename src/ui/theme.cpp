// The native half of the themes: palettes, the shared brushes, their life
// across theme changes, and the control colours of the main window.
#include "ui/theme.h"

#include "platform/unique_handle.h"
#include "session/client_state.h"
#include "ui/control_ids.h"
#include "ui/window_classes.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <vector>

namespace Velmor {
namespace {

constexpr COLORREF hex(unsigned rgb)
{
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// Roles 1, 2, 4 and 7 are not used by any window; they repeat a neighbouring
// role so that a stray use still stays within the theme.
constexpr ThemePalette kGraphiteDark = {{
    hex(0x12151B), hex(0x12151B), hex(0x151920), hex(0x151920), hex(0x1D2129), hex(0x1D2129),
    hex(0x2D3540), hex(0x2D3540), hex(0xECF2FA), hex(0xA6B4C8), hex(0x4AA4F4), hex(0x8BD3FF),
    hex(0x28394B), hex(0xFFFFFF), hex(0x38D28F), hex(0x707E91), hex(0x0F1319), hex(0xC0D0E0),
    hex(0x2A71B1), hex(0x232932), hex(0x343E4B), hex(0x7C8694), hex(0x262B35), hex(0x394B63),
}};

constexpr ThemePalette kMidnightBlue = {{
    hex(0x0A0F1A), hex(0x0A0F1A), hex(0x0D1524), hex(0x0D1524), hex(0x161F31), hex(0x161F31),
    hex(0x283952), hex(0x283952), hex(0xE7EFFF), hex(0x90A4BE), hex(0x53BEFF), hex(0x9BDEFF),
    hex(0x21405D), hex(0xFFFFFF), hex(0x3FDCA0), hex(0x697C99), hex(0x080C15), hex(0xC5D8F1),
    hex(0x1F68A4), hex(0x19253A), hex(0x2B3D58), hex(0x768BAA), hex(0x1B273C), hex(0x304B6F),
}};

constexpr ThemePalette kLightCanvas = {{
    hex(0xEDF2F8), hex(0xEDF2F8), hex(0xF9FBFE), hex(0xF9FBFE), hex(0xF6F8FB), hex(0xF6F8FB),
    hex(0xCDD8E5), hex(0xCDD8E5), hex(0x1F2B3B), hex(0x5E6C7E), hex(0x1C71C5), hex(0x175BA1),
    hex(0xD2E7FA), hex(0x1F2B3B), hex(0x159A68), hex(0x7B8999), hex(0xF4F7FB), hex(0x2D3A4A),
    hex(0x2269B5), hex(0xF1F5FA), hex(0xC6D2E0), hex(0x828D9A), hex(0xE8EDF4), hex(0xB3C6DD),
}};

constexpr const wchar_t* kThemeNames[kThemeCount] = {L"Graphite Dark", L"Midnight Blue", L"Light Canvas"};

constexpr std::array<int, 7> kBrushRoles = {0, 5, 12, 14, 15, 10, 16};

struct ThemeBrushes {
    std::array<UniqueBrush, kBrushRoles.size()> current;
    // Earlier brushes that a window class still uses as its background.
    std::vector<UniqueBrush> retired;
    HWND toastWindow = nullptr;
};

ThemeBrushes& themeBrushes()
{
    static ThemeBrushes brushes;
    return brushes;
}

bool isClassBackground(HBRUSH brush)
{
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    for (const ThemedWindowClass& themed : kThemedWindowClasses) {
        WNDCLASSEXW info = {};
        info.cbSize = sizeof(info);
        if (::GetClassInfoExW(instance, themed.name, &info) && info.hbrBackground == brush) return true;
    }
    return false;
}

// Deletes the given brushes, except those a class still paints with; those
// wait among the retired brushes, which are checked again each time.
void retireOrDelete(std::vector<UniqueBrush> brushes)
{
    ThemeBrushes& state = themeBrushes();
    std::move(brushes.begin(), brushes.end(), std::back_inserter(state.retired));
    std::erase_if(state.retired, [](const UniqueBrush& brush) { return !brush || !isClassBackground(brush.get()); });
}

std::vector<UniqueBrush> replaceBrushes()
{
    std::vector<UniqueBrush> previous;
    for (UniqueBrush& brush : themeBrushes().current) previous.push_back(std::move(brush));
    for (std::size_t i = 0; i < kBrushRoles.size(); ++i) {
        themeBrushes().current[i].reset(::CreateSolidBrush(paletteColor(kBrushRoles[i])));
    }
    return previous;
}

bool isEditClass(HWND control)
{
    wchar_t name[16] = {};
    return control && ::GetClassNameW(control, name, static_cast<int>(std::size(name))) > 0 &&
           ::lstrcmpiW(name, L"Edit") == 0;
}

struct ControlColorChoice {
    int textRole;
    int backgroundRole;  // -1: transparent background
    bool forceOpaque;
    int brushRole;
};

ControlColorChoice chooseControlColors(UINT message, int controlId, bool isEditBox, bool connected)
{
    // Read-only edit boxes (the transcript and the log view) ask with
    // WM_CTLCOLORSTATIC; they are edit boxes all the same.
    if (message == WM_CTLCOLOREDIT || (message == WM_CTLCOLORSTATIC && isEditBox)) {
        if (controlId == idLogViewBox) return {17, 16, false, 16};
        return {8, 5, false, 5};
    }
    if (message != WM_CTLCOLORSTATIC) return {8, 5, false, 5};  // list boxes and buttons
    switch (controlId) {
    case idStatusBar: return {9, 5, true, 5};
    case idConnectionStatusLabel: return {connected ? 14 : 9, -1, false, 0};
    case idOnlineCountLabel: return {14, -1, false, 0};
    case idProductHeaderLabel:
    case idPageTitleLabel: return {8, -1, false, 0};
    default: return {9, -1, false, 0};
    }
}

}  // namespace

int normalizedTheme(int theme)
{
    return theme >= 0 && theme < kThemeCount ? theme : 0;
}

const ThemePalette& themePalette(int theme)
{
    static constexpr const ThemePalette* palettes[kThemeCount] = {&kGraphiteDark, &kMidnightBlue, &kLightCanvas};
    return *palettes[normalizedTheme(theme)];
}

COLORREF paletteColor(int role)
{
    if (role < 0 || role >= kPaletteRoleCount) return RGB(0, 0, 0);
    return themePalette(clientState().uiTheme).colors[role];
}

const wchar_t* themeName(int theme)
{
    return kThemeNames[normalizedTheme(theme)];
}

void createThemeBrushes()
{
    retireOrDelete(replaceBrushes());
}

HBRUSH themeBrush(int role)
{
    const auto found = std::find(kBrushRoles.begin(), kBrushRoles.end(), role);
    if (found == kBrushRoles.end()) return nullptr;
    return themeBrushes().current[static_cast<std::size_t>(found - kBrushRoles.begin())].get();
}

void deleteThemeBrushes()
{
    for (UniqueBrush& brush : themeBrushes().current) brush.reset();
    themeBrushes().retired.clear();
}

void setToastWindowForRedraw(HWND toastWindow)
{
    themeBrushes().toastWindow = toastWindow;
}

void adoptThemeClassBackground(HWND window)
{
    if (!window || !::IsWindow(window)) return;
    wchar_t name[64] = {};
    if (::GetClassNameW(window, name, static_cast<int>(std::size(name))) <= 0) return;
    const auto role = themedClassBackgroundRole(name);
    if (!role) return;
    if (const HBRUSH brush = themeBrush(*role)) {
        ::SetClassLongPtrW(window, GCLP_HBRBACKGROUND, reinterpret_cast<LONG_PTR>(brush));
    }
}

void recreateThemeBrushes(HWND mainWindow)
{
    std::vector<UniqueBrush> previous = replaceBrushes();
    const HWND toast = themeBrushes().toastWindow && ::IsWindow(themeBrushes().toastWindow)
                           ? themeBrushes().toastWindow
                           : nullptr;
    adoptThemeClassBackground(mainWindow);
    for (const auto& [peer, window] : clientState().dmWindows) adoptThemeClassBackground(window);
    adoptThemeClassBackground(toast);
    retireOrDelete(std::move(previous));

    if (mainWindow) {
        if (const HWND listView = ::GetDlgItem(mainWindow, idRoomListView)) {
            ::SendMessageW(listView, LVM_SETBKCOLOR, 0, static_cast<LPARAM>(paletteColor(5)));
            ::SendMessageW(listView, LVM_SETTEXTBKCOLOR, 0, static_cast<LPARAM>(paletteColor(5)));
            ::SendMessageW(listView, LVM_SETTEXTCOLOR, 0, static_cast<LPARAM>(paletteColor(8)));
        }
        ::RedrawWindow(mainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
    for (const auto& [peer, window] : clientState().dmWindows) {
        if (window && ::IsWindow(window)) {
            ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        }
    }
    if (toast) ::InvalidateRect(toast, nullptr, TRUE);
}

LRESULT themeControlColor(UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto dc = reinterpret_cast<HDC>(wParam);
    const auto control = reinterpret_cast<HWND>(lParam);
    const int controlId = control ? ::GetDlgCtrlID(control) : 0;
    const ControlColorChoice choice =
        chooseControlColors(message, controlId, isEditClass(control), clientState().connected.load());
    if (dc) {
        ::SetTextColor(dc, paletteColor(choice.textRole));
        if (choice.backgroundRole < 0) {
            ::SetBkMode(dc, TRANSPARENT);
        } else {
            if (choice.forceOpaque) ::SetBkMode(dc, OPAQUE);
            ::SetBkColor(dc, paletteColor(choice.backgroundRole));
        }
    }
    return reinterpret_cast<LRESULT>(themeBrush(choice.brushRole));
}

}  // namespace Velmor
