// Reading what native controls show, for checks in tests.
#pragma once

#include <windows.h>

#include <string>

namespace VelmorTest {

// The window's text; empty for a missing window.
std::wstring windowText(HWND window);

// The items of a combo box, joined by `separator`.
std::wstring comboBoxItems(HWND comboBox, wchar_t separator = L'|');

// The cue banner of a (version 6) edit box; empty when it has none.
std::wstring cueBanner(HWND editBox);

}  // namespace VelmorTest
