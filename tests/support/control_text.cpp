#include "support/control_text.h"

#include <commctrl.h>

namespace VelmorTest {

std::wstring windowText(HWND window)
{
    const int length = window ? ::GetWindowTextLengthW(window) : 0;
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(window ? static_cast<std::size_t>(::GetWindowTextW(window, text.data(), length + 1)) : 0);
    return text;
}

std::wstring comboBoxItems(HWND comboBox, wchar_t separator)
{
    std::wstring joined;
    const LRESULT count = ::SendMessageW(comboBox, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring item(static_cast<std::size_t>(::SendMessageW(comboBox, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
        item.resize(static_cast<std::size_t>(
            ::SendMessageW(comboBox, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()))));
        if (i > 0) joined += separator;
        joined += item;
    }
    return joined;
}

std::wstring cueBanner(HWND editBox)
{
    wchar_t buffer[256] = {};
    ::SendMessageW(editBox, EM_GETCUEBANNER, reinterpret_cast<WPARAM>(buffer), std::size(buffer));
    return buffer;
}

}  // namespace VelmorTest
