// The form in which the workspace draws a peer-provided or stored text. The
// toolkit draws glyphs one after another from left to right, so a text is
// handed to it already in display order: each line is shaped (Arabic letters
// to their joined presentation forms, in logical order) and then reordered
// by the Unicode Bidirectional Algorithm, its paragraph direction taken from
// its first strong character, brackets mirrored where they run right to
// left. Text inputs are not converted: they keep their editing order.
// No Windows header.
#pragma once

#include <string>
#include <string_view>

namespace Velmor {

// One text, each '\n'-separated line converted on its own (line ends stay
// as they are). `rightToLeft`, when given, says whether the first line's
// paragraph runs right to left.
std::u32string displayOrder(std::u32string_view logical, bool* rightToLeft = nullptr);

// The same for UTF-8 (invalid sequences become U+FFFD), through a cache of
// the display forms of the distinct texts met, so a text costs its
// conversion once. A text that needs no change (all of ASCII at once, else
// after one look at its characters) is returned itself. The view stays valid
// until the next call (and, where `utf8` is returned, as long as `utf8`).
// For the interface thread only.
std::string_view displayText(std::string_view utf8, bool* rightToLeft = nullptr);

// The cache's bounds: past either it is emptied and starts again.
constexpr std::size_t kDisplayCacheEntries = 20000;
constexpr std::size_t kDisplayCacheBytes = 8u << 20;

// Entries in the cache now (for tests and benchmarks).
std::size_t displayCacheSize();

}  // namespace Velmor
