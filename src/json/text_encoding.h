// Conversions between the UTF-8 of the wire, the log file and the cross-thread
// names, and the UTF-16 in which the client holds every text it shows.
// Built on the platform converters so that broken input degrades exactly as
// the rest of Windows degrades it (U+FFFD replacement characters).
#pragma once

#include <string>
#include <string_view>

namespace Velmor {

// Strict conversion first; invalid UTF-8 is converted again leniently, each bad
// sequence becoming U+FFFD. Never fails: the worst case is a single U+FFFD.
std::wstring utf8ToUtf16(std::string_view bytes);

// Unpaired surrogates come out as the converter writes them (U+FFFD); a failed
// conversion gives the empty string.
std::string utf16ToUtf8(std::wstring_view text);

// Removes leading and trailing white space: whatever iswspace accepts plus the
// no-break and zero-width spaces U+00A0, U+2007, U+200B, U+202F, U+2060, U+FEFF.
std::wstring trimWhitespace(std::wstring_view text);

// True for the characters trimWhitespace removes.
bool isTrimmableSpace(wchar_t c);

}  // namespace Velmor
