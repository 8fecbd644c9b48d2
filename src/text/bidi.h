// The Unicode Bidirectional Algorithm (UAX #9) for one paragraph shown as
// one line: explicit embeddings, overrides and isolates (X1-X10), weak and
// neutral types with paired brackets (W1-W7, N0-N2), implicit levels (I1-I2),
// and the line rules L1 and L2. No Windows header.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace Velmor {

enum class ParagraphDirection { automatic, leftToRight, rightToLeft };

struct BidiLevels {
    int paragraphLevel = 0;
    // One per character, after L1; kRemovedLevel for the characters X9
    // removes (embedding and override controls, boundary neutrals).
    std::vector<int> levels;
};

constexpr int kRemovedLevel = -1;

// P2/P3 when `direction` is automatic: the first strong character outside
// isolates decides, left-to-right when there is none.
BidiLevels resolveBidiLevels(std::u32string_view text, ParagraphDirection direction);

// L2: the indices of the characters in the order they are shown, left to
// right; removed characters are left out.
std::vector<std::size_t> visualOrder(const BidiLevels& resolved);

}  // namespace Velmor
