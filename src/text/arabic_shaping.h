// Arabic contextual shaping: each letter of a text in logical order becomes
// its isolated, initial, medial or final presentation form, as its joining
// type (ArabicShaping.txt) and its neighbours' decide, and lam followed by
// alef becomes their ligature. Transparent characters (marks) are passed
// over when deciding joins. No Windows header.
#pragma once

#include <string>
#include <string_view>

namespace Velmor {

std::u32string shapeArabic(std::u32string_view text);

}  // namespace Velmor
