// Painters for the owner-drawn controls: the shared button painter (also used
// by the direct-message windows), the workspace navigation buttons and the
// rows of the roster list boxes.
#include "platform/unique_handle.h"
#include "session/client_state.h"
#include "ui/control_ids.h"
#include "ui/native_surface.h"
#include "ui/theme.h"

#include <algorithm>
#include <string>

namespace Velmor {
namespace {

constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);

// Selects objects and text settings for one paint and puts the device
// context back as it was.
class SavedDc {
public:
    explicit SavedDc(HDC dc) noexcept : dc_(dc), saved_(::SaveDC(dc)) {}
    ~SavedDc()
    {
        if (saved_) ::RestoreDC(dc_, saved_);
    }
    SavedDc(const SavedDc&) = delete;
    SavedDc& operator=(const SavedDc&) = delete;

private:
    HDC dc_;
    int saved_;
};

void fillRoundRect(HDC dc, const RECT& rect, COLORREF fill, COLORREF border, int corner)
{
    const UniquePen pen(::CreatePen(PS_SOLID, 1, border));
    const UniqueBrush brush(::CreateSolidBrush(fill));
    SavedDc saved(dc);
    if (pen) ::SelectObject(dc, pen.get());
    if (brush) ::SelectObject(dc, brush.get());
    ::RoundRect(dc, rect.left, rect.top, rect.right, rect.bottom, corner, corner);
}

void fillEllipse(HDC dc, const RECT& rect, COLORREF fill)
{
    const UniquePen pen(::CreatePen(PS_SOLID, 1, fill));
    const UniqueBrush brush(::CreateSolidBrush(fill));
    SavedDc saved(dc);
    if (pen) ::SelectObject(dc, pen.get());
    if (brush) ::SelectObject(dc, brush.get());
    ::Ellipse(dc, rect.left, rect.top, rect.right, rect.bottom);
}

void fillSolid(HDC dc, const RECT& rect, COLORREF color)
{
    const UniqueBrush brush(::CreateSolidBrush(color));
    if (brush) ::FillRect(dc, &rect, brush.get());
}

void drawText(HDC dc, const std::wstring& text, RECT rect, COLORREF color, UINT format)
{
    SavedDc saved(dc);
    ::SetTextColor(dc, color);
    ::SetBkMode(dc, TRANSPARENT);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format | DT_NOPREFIX);
}

std::wstring windowText(HWND window)
{
    wchar_t text[128] = {};
    const int length = window ? ::GetWindowTextW(window, text, 128) : 0;
    return std::wstring(text, static_cast<std::size_t>(std::max(length, 0)));
}

void drawFocus(HDC dc, const DRAWITEMSTRUCT& item, int inset)
{
    if (!(item.itemState & ODS_FOCUS)) return;
    RECT focus = item.rcItem;
    ::InflateRect(&focus, -inset, -inset);
    ::DrawFocusRect(dc, &focus);
}

// Page and short label of each navigation button.
struct NavigationEntry {
    int id;
    WorkspacePageId page;
    const wchar_t* label;
};
constexpr NavigationEntry kNavigation[] = {
    {idNavRoomChat, pageRoomChat, L"Chat"},   {idNavPeople, pagePeople, L"People"},
    {idNavFriends, pageFriends, L"Friends"},  {idNavRecent, pageRecent, L"Recent"},
    {idNavRooms, pageRooms, L"Rooms"},        {idNavSettings, pageSettings, L"Settings"},
    {idNavDiagnostics, pageDiagnostics, L"Debug"},
};

const NavigationEntry* navigationEntry(int controlId)
{
    for (const NavigationEntry& entry : kNavigation) {
        if (entry.id == controlId) return &entry;
    }
    return nullptr;
}

bool isRosterList(int controlId)
{
    return controlId == idOnlineUsersList || controlId == idFriendsList || controlId == idRecentUsersList ||
           controlId == idRoomMembersList;
}

std::wstring listItemText(HWND listBox, UINT index)
{
    const LRESULT length = ::SendMessageW(listBox, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR || length < 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = ::SendMessageW(listBox, LB_GETTEXT, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == LB_ERR || copied < 0 ? 0 : static_cast<std::size_t>(copied));
    return text;
}

}  // namespace

bool isPrimaryButton(int controlId)
{
    return controlId == idConnectButton || controlId == idCreateRoomButton || controlId == idJoinRoomButton ||
           controlId == idSendButton || controlId == idAddFriendButton || controlId == idDmSendButton;
}

ButtonColors chooseButtonColors(int controlId, UINT itemState, int theme)
{
    const COLORREF* role = themePalette(theme).colors;
    const bool primary = isPrimaryButton(controlId);
    ButtonColors colors = primary ? ButtonColors{role[18], role[10], kWhite} : ButtonColors{role[19], role[20], role[8]};
    if (itemState & ODS_DISABLED) {
        colors = {role[22], role[6], role[21]};
    } else if (itemState & ODS_HOTLIGHT) {
        colors.fill = primary ? role[10] : role[5];
    } else if (itemState & ODS_SELECTED) {
        colors.fill = primary ? role[18] : role[12];
    }
    return colors;
}

void paintOwnerDrawnButton(const DRAWITEMSTRUCT& item)
{
    if (item.itemID == static_cast<UINT>(-1) || !item.hDC) return;
    if (navigationEntry(static_cast<int>(item.CtlID))) {
        paintNavigationButton(item);
        return;
    }
    const ButtonColors colors = chooseButtonColors(static_cast<int>(item.CtlID), item.itemState, clientState().uiTheme);
    fillRoundRect(item.hDC, item.rcItem, colors.fill, colors.border, 9);
    drawText(item.hDC, windowText(item.hwndItem), item.rcItem, colors.text, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    drawFocus(item.hDC, item, 4);
}

void paintNavigationButton(const DRAWITEMSTRUCT& item)
{
    const NavigationEntry* entry = navigationEntry(static_cast<int>(item.CtlID));
    if (!entry || !item.hDC) return;
    const bool active = clientState().activePage == entry->page;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const RECT& rect = item.rcItem;

    fillRoundRect(item.hDC, rect, paletteColor(active || pressed ? 12 : 3), paletteColor(active ? 10 : 6), 9);
    if (active) {
        const int barHeight = std::max(0L, rect.bottom - rect.top - 12);
        fillSolid(item.hDC, {rect.left + 2, rect.top + 6, rect.left + 5, rect.top + 6 + barHeight}, paletteColor(11));
    }
    // The icon: a dot in the page's accent, left of the label.
    const int middle = (rect.top + rect.bottom) / 2;
    fillEllipse(item.hDC, {rect.left + 12, middle - 5, rect.left + 22, middle + 5}, paletteColor(active ? 11 : 9));
    drawText(item.hDC, entry->label, {rect.left + 30, rect.top, rect.right - 6, rect.bottom},
             paletteColor(active ? 13 : 8), DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    drawFocus(item.hDC, item, 4);
}

void paintRosterListItem(const DRAWITEMSTRUCT& item)
{
    if (!item.hDC) return;
    if (item.itemID == static_cast<UINT>(-1)) {
        drawFocus(item.hDC, item, 0);
        return;
    }
    const std::wstring name = listItemText(item.hwndItem, item.itemID);
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    const bool blocked = clientState().isServerBlocked(name);
    const bool online = containsName(clientState().onlineUsers, name);
    const RECT& rect = item.rcItem;

    fillSolid(item.hDC, rect, paletteColor(selected ? 12 : 5));

    // Avatar: a disc with the name's first letter; the status dot sits on its edge.
    const int size = std::max(8L, rect.bottom - rect.top - 6);
    const RECT avatar = {rect.left + 6, rect.top + 3, rect.left + 6 + size, rect.top + 3 + size};
    fillEllipse(item.hDC, avatar, paletteColor(10));
    if (!name.empty()) {
        drawText(item.hDC, name.substr(0, 1), avatar, kWhite, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    const RECT dot = {avatar.right - 7, avatar.bottom - 7, avatar.right + 1, avatar.bottom + 1};
    fillEllipse(item.hDC, dot, paletteColor(online && !blocked ? 14 : 15));

    const COLORREF nameColor = paletteColor(selected ? 13 : blocked ? 9 : 8);
    drawText(item.hDC, name, {avatar.right + 8, rect.top, rect.right - 4, rect.bottom}, nameColor,
             DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    drawFocus(item.hDC, item, 0);
}

bool measureRosterListItem(MEASUREITEMSTRUCT& item)
{
    if (item.CtlType != ODT_LISTBOX || !isRosterList(static_cast<int>(item.CtlID))) return false;
    item.itemHeight = kRosterItemHeight;
    return true;
}

}  // namespace Velmor
