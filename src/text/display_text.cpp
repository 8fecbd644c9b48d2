#include "text/display_text.h"

#include "json/utf8.h"

#include "text/arabic_shaping.h"
#include "text/bidi.h"
#include "text/unicode_properties.h"

#include <unordered_map>

namespace Velmor {
namespace {

std::u32string decodeUtf8(std::string_view bytes)
{
    std::u32string text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        int length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                                   : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
        char32_t c = length == 1 ? lead : length == 2 ? (lead & 0x1Fu) : length == 3 ? (lead & 0x0Fu) : (lead & 0x07u);
        int taken = 1;
        for (; length > 1 && taken < length && i + static_cast<std::size_t>(taken) < bytes.size(); ++taken) {
            const unsigned char follow = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(taken)]);
            if ((follow & 0xC0) != 0x80) break;
            c = (c << 6) | (follow & 0x3Fu);
        }
        const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
        const bool surrogate = c >= 0xD800 && c <= 0xDFFF;
        if (length == 0 || taken < length || overlong || surrogate || c > 0x10FFFF) {
            text.push_back(0xFFFD);
            i += static_cast<std::size_t>(length == 0 ? 1 : taken);
        } else {
            text.push_back(c);
            i += static_cast<std::size_t>(length);
        }
    }
    return text;
}

// Whether a line can come out of the algorithm other than it went in: only
// with right-to-left characters, Arabic numbers or explicit controls.
bool mayReorder(std::u32string_view text)
{
    for (const char32_t c : text) {
        switch (bidiClass(c)) {
        case BidiClass::R:
        case BidiClass::AL:
        case BidiClass::AN:
        case BidiClass::LRE:
        case BidiClass::LRO:
        case BidiClass::RLE:
        case BidiClass::RLO:
        case BidiClass::PDF:
        case BidiClass::LRI:
        case BidiClass::RLI:
        case BidiClass::FSI:
        case BidiClass::PDI:
            return true;
        default:
            break;
        }
    }
    return false;
}

void appendDisplayLine(std::u32string& out, std::u32string_view line, bool* rightToLeft)
{
    if (!mayReorder(line)) {
        out.append(line);
        if (rightToLeft) *rightToLeft = false;
        return;
    }
    const std::u32string shaped = shapeArabic(line);
    const BidiLevels resolved = resolveBidiLevels(shaped, ParagraphDirection::automatic);
    for (const std::size_t i : visualOrder(resolved)) {
        const char32_t mirrored = (resolved.levels[i] & 1) ? mirroredGlyph(shaped[i]) : 0;
        out.push_back(mirrored ? mirrored : shaped[i]);
    }
    if (rightToLeft) *rightToLeft = resolved.paragraphLevel == 1;
}

struct CachedForm {
    std::string text;
    bool unchanged = false;
    bool rightToLeft = false;
};

struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>()(text); }
};

struct DisplayCache {
    std::unordered_map<std::string, CachedForm, TextHash, std::equal_to<>> forms;
    std::size_t bytes = 0;
};

DisplayCache& displayCache()
{
    static DisplayCache cache;
    return cache;
}

}  // namespace

std::u32string displayOrder(std::u32string_view logical, bool* rightToLeft)
{
    std::u32string out;
    out.reserve(logical.size());
    bool first = true;
    std::size_t start = 0;
    while (start <= logical.size()) {
        std::size_t end = logical.find(U'\n', start);
        const bool last = end == std::u32string_view::npos;
        if (last) end = logical.size();
        std::size_t content = end;
        if (content > start && logical[content - 1] == U'\r') --content;
        appendDisplayLine(out, logical.substr(start, content - start), first ? rightToLeft : nullptr);
        out.append(logical.substr(content, end - content));
        first = false;
        if (last) break;
        out.push_back(U'\n');
        start = end + 1;
    }
    return out;
}

std::string_view displayText(std::string_view utf8, bool* rightToLeft)
{
    bool ascii = true;
    for (const char byte : utf8) {
        if (static_cast<unsigned char>(byte) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) {
        if (rightToLeft) *rightToLeft = false;
        return utf8;
    }
    DisplayCache& cache = displayCache();
    auto found = cache.forms.find(utf8);
    if (found == cache.forms.end()) {
        CachedForm form;
        const std::u32string logical = decodeUtf8(utf8);
        const std::u32string shown = displayOrder(logical, &form.rightToLeft);
        if (shown == logical) {
            form.unchanged = true;
        } else {
            form.text.reserve(utf8.size());
            for (const char32_t c : shown) appendUtf8(form.text, c);
        }
        const std::size_t cost = utf8.size() + form.text.size() + sizeof(CachedForm) + 32;
        if (cache.forms.size() >= kDisplayCacheEntries || cache.bytes + cost > kDisplayCacheBytes) {
            cache.forms.clear();
            cache.bytes = 0;
        }
        cache.bytes += cost;
        found = cache.forms.emplace(std::string(utf8), std::move(form)).first;
    }
    if (rightToLeft) *rightToLeft = found->second.rightToLeft;
    return found->second.unchanged ? utf8 : std::string_view(found->second.text);
}

std::size_t displayCacheSize() { return displayCache().forms.size(); }

}  // namespace Velmor
