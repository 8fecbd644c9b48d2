// Character properties the workspace's display text needs: bidirectional
// class, mirrored glyph, paired bracket, Arabic joining type and presentation
// forms. The tables behind them are generated at build time from the Unicode
// Character Database (generate_unicode_tables.py); no Windows header.
#pragma once

#include <cstdint>

namespace Velmor {

enum class BidiClass : std::uint8_t {
    L, R, AL, EN, ES, ET, AN, CS, NSM, BN, B, S, WS, ON,
    LRE, LRO, RLE, RLO, PDF, LRI, RLI, FSI, PDI,
};

BidiClass bidiClass(char32_t c);

// The glyph drawn for `c` at a right-to-left level (BidiMirroring.txt), or 0.
char32_t mirroredGlyph(char32_t c);

// BidiBrackets.txt: whether `c` is a paired bracket, its counterpart and
// whether it opens.
bool pairedBracket(char32_t c, char32_t& counterpart, bool& opening);

enum class JoiningType : std::uint8_t { U, R, L, D, C, T };

JoiningType joiningType(char32_t c);

enum ShapingForm { formIsolated, formFinal, formInitial, formMedial };

// The presentation form of an Arabic letter, or 0 where the blocks
// U+FB50-U+FDFF and U+FE70-U+FEFF have none.
char32_t presentationForm(char32_t letter, ShapingForm form);

// The lam-alef ligature of lam (U+0644) followed by `alef` in the given form
// (isolated or final), or 0 when `alef` makes none.
char32_t lamAlefLigature(char32_t alef, ShapingForm form);

}  // namespace Velmor
