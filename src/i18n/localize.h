// The localised text lookup: every user-facing native text passes through
// `localize`, which gives it in the current interface language. A text is
// named by its English or its Arabic source form; a text without an entry in
// the current language falls back to its English when that is known, else to
// itself. Any thread may call it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Velmor {

// Values of ClientState::uiLanguage; any other value shows English.
enum UiLanguage : int {
    uiLanguageEnglish = 0,
    uiLanguageArabic = 1,
    uiLanguageFrench = 2,
    uiLanguageSpanish = 3,
};

// The text in the current interface language, as an owned copy so that it
// never depends on the lifetime of the argument. A null text gives the empty
// text.
std::wstring localize(const wchar_t* text);
std::wstring localize(std::wstring_view text);

// The localised "ONLINE NOW  ·  0" with its first "0" replaced by `count`.
std::wstring onlineCountText(std::size_t count);

}  // namespace Velmor
