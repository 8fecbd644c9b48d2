#include "text/unicode_properties.h"

#include <algorithm>
#include <iterator>

namespace Velmor {
namespace {

struct CodePair {
    char32_t from;
    char32_t to;
};

struct Bracket {
    char32_t bracket;
    char32_t counterpart;
    bool opening;
};

struct JoiningRange {
    char32_t first;
    char32_t last;
    JoiningType type;
};

struct Forms {
    char32_t base;
    char32_t forms[4];  // indexed by ShapingForm
};

#include "unicode_tables.inc"

char32_t keyOf(const CodePair& entry) { return entry.from; }
char32_t keyOf(const Bracket& entry) { return entry.bracket; }
char32_t keyOf(const Forms& entry) { return entry.base; }

// The tables are sorted by their first field.
template <typename Entry, std::size_t N>
const Entry* findEntry(const Entry (&table)[N], char32_t c)
{
    const Entry* found = std::lower_bound(std::begin(table), std::end(table), c,
                                          [](const Entry& entry, char32_t key) { return keyOf(entry) < key; });
    return found != std::end(table) && keyOf(*found) == c ? found : nullptr;
}

}  // namespace

BidiClass bidiClass(char32_t c)
{
    if (c > 0x10FFFF) return BidiClass::L;
    const unsigned block = kBidiStage1[c >> kBidiBlockShift];
    return static_cast<BidiClass>(kBidiStage2[(block << kBidiBlockShift) | (c & ((1u << kBidiBlockShift) - 1))]);
}

char32_t mirroredGlyph(char32_t c)
{
    const CodePair* entry = findEntry(kMirrors, c);
    return entry ? entry->to : 0;
}

bool pairedBracket(char32_t c, char32_t& counterpart, bool& opening)
{
    const Bracket* entry = findEntry(kBrackets, c);
    if (!entry) return false;
    counterpart = entry->counterpart;
    opening = entry->opening;
    return true;
}

JoiningType joiningType(char32_t c)
{
    const JoiningRange* found = std::upper_bound(std::begin(kJoiningRanges), std::end(kJoiningRanges), c,
                                                 [](char32_t key, const JoiningRange& range) { return key < range.first; });
    if (found == std::begin(kJoiningRanges)) return JoiningType::U;
    --found;
    return c <= found->last ? found->type : JoiningType::U;
}

char32_t presentationForm(char32_t letter, ShapingForm form)
{
    const Forms* entry = findEntry(kPresentationForms, letter);
    return entry ? entry->forms[form] : 0;
}

char32_t lamAlefLigature(char32_t alef, ShapingForm form)
{
    const Forms* entry = findEntry(kLamAlefLigatures, alef);
    return entry ? entry->forms[form] : 0;
}

}  // namespace Velmor
