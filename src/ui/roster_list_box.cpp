#include "ui/roster_list_box.h"

#include "platform/unique_handle.h"

#include <algorithm>

namespace Velmor {
namespace {

std::wstring listItemText(HWND listBox, LRESULT index)
{
    const LRESULT length = ::SendMessageW(listBox, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR || length < 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied =
        ::SendMessageW(listBox, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    if (copied == LB_ERR || copied < 0) return {};
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

}  // namespace

std::wstring selectedListText(HWND listBox)
{
    if (!listBox) return {};
    const LRESULT selected = ::SendMessageW(listBox, LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR) return {};
    return listItemText(listBox, selected);
}

void fillRosterListBox(HWND listBox, const NameList& names)
{
    if (!listBox) return;
    const std::wstring remembered = selectedListText(listBox);

    // Large lists (thousands of names) refill without a redraw per item.
    ::SendMessageW(listBox, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(listBox, LB_RESETCONTENT, 0, 0);
    std::size_t characters = 0;
    for (const std::wstring& name : names) characters += name.size() + 1;
    ::SendMessageW(listBox, LB_INITSTORAGE, names.size(), characters * sizeof(wchar_t));

    // Every control carries the interface font, so the list box's own font is
    // the one to measure with.
    WindowDc dc(listBox);
    const auto font = reinterpret_cast<HFONT>(::SendMessageW(listBox, WM_GETFONT, 0, 0));
    ScopedSelectObject selectFont(dc.get(), font);

    int widest = 0;
    for (const std::wstring& name : names) {
        const LRESULT index = ::SendMessageW(listBox, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
        if (index >= 0 && !remembered.empty() && name == remembered) {
            ::SendMessageW(listBox, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
        }
        SIZE extent = {};
        if (dc && ::GetTextExtentPoint32W(dc.get(), name.c_str(), static_cast<int>(name.size()), &extent)) {
            widest = std::max(widest, static_cast<int>(extent.cx));
        }
    }
    ::SendMessageW(listBox, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(std::max(widest + 40, 180)), 0);
    ::SendMessageW(listBox, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(listBox, nullptr, TRUE);
}

}  // namespace Velmor
