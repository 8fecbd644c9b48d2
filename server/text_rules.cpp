// Name, text and query rules; see text_rules.h.
#include "text_rules.h"

#include <algorithm>

namespace VelmorServer {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// C0 controls other than tab, and DEL: they end C strings, break lines and
// start terminal escapes, so no name may carry them. The client's name box
// drops them as they are typed or pasted, so no typed name is refused for
// them; other inner characters the client lets through (tab, C1 controls,
// the line and paragraph separators) are accepted in names, since a refused
// name leaves the client retrying its connection with it for ever.
bool isNameControl(char32_t c)
{
    return (c < 0x20 && c != '\t') || c == 0x7F;
}

// A chat or direct-message line is shown as one line: besides the name
// controls, C1 controls (U+0085 is a line break) and the line and paragraph
// separators are refused too. A refused line costs only an error line.
bool isTextControl(char32_t c)
{
    return isNameControl(c) || (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029;
}

// Decodes one code point at `pos`; returns 0 bytes consumed for invalid input.
std::size_t decodeOne(std::string_view bytes, std::size_t pos, char32_t& out)
{
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byteAt(pos);
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        out = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (pos + length > bytes.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = byteAt(pos + i);
        if ((next & 0xC0) != 0x80) return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    out = value;
    return length;
}

std::size_t unitsOf(char32_t c) { return c > 0xFFFF ? 2 : 1; }

}  // namespace

std::optional<std::u32string> decodeUtf8(std::string_view bytes)
{
    std::u32string out;
    out.reserve(bytes.size());
    for (std::size_t pos = 0; pos < bytes.size();) {
        char32_t c = 0;
        const std::size_t used = decodeOne(bytes, pos, c);
        if (used == 0) return std::nullopt;
        out.push_back(c);
        pos += used;
    }
    return out;
}

bool isValidUtf8(std::string_view bytes)
{
    for (std::size_t pos = 0; pos < bytes.size();) {
        char32_t c = 0;
        const std::size_t used = decodeOne(bytes, pos, c);
        if (used == 0) return false;
        pos += used;
    }
    return true;
}

std::optional<std::size_t> utf16Length(std::string_view utf8)
{
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < utf8.size();) {
        char32_t c = 0;
        const std::size_t used = decodeOne(utf8, pos, c);
        if (used == 0) return std::nullopt;
        units += unitsOf(c);
        pos += used;
    }
    return units;
}

bool isSpaceLike(char32_t c)
{
    switch (c) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20: case 0x85: case 0xA0:
    case 0x1680: case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
    case 0x200B: case 0x2060: case 0xFEFF:
        return true;
    default:
        return c >= 0x2000 && c <= 0x200A;
    }
}

std::string nameProblem(std::string_view name, std::string_view what)
{
    const std::string subject = "The " + std::string(what);
    if (name.empty()) return subject + " is empty.";
    const auto decoded = decodeUtf8(name);
    if (!decoded) return subject + " is not valid UTF-8.";
    std::size_t units = 0;
    for (const char32_t c : *decoded) units += unitsOf(c);
    if (units > kMaxNameLength) return subject + " is longer than 64 characters.";
    if (std::any_of(decoded->begin(), decoded->end(), isNameControl))
        return subject + " contains control characters.";
    if (isSpaceLike(decoded->front()) || isSpaceLike(decoded->back()))
        return subject + " begins or ends with white space.";
    return {};
}

std::string gameProblem(std::string_view game)
{
    return game.empty() ? std::string() : nameProblem(game, "game");
}

std::string textProblem(std::string_view text)
{
    const auto decoded = decodeUtf8(text);
    if (!decoded) return "The message is not valid UTF-8.";
    if (std::all_of(decoded->begin(), decoded->end(), isSpaceLike)) return "The message is empty.";
    std::size_t units = 0;
    for (const char32_t c : *decoded) units += unitsOf(c);
    if (units > kMaxTextLength) return "The message is longer than 10000 characters.";
    if (std::any_of(decoded->begin(), decoded->end(), isTextControl)) return "The message contains control characters.";
    return {};
}

std::string shortened(std::string_view text, std::size_t maxUnits)
{
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        char32_t c = 0;
        const std::size_t used = decodeOne(text, pos, c);
        if (used == 0 || units + unitsOf(c) > maxUnits) return std::string(text.substr(0, pos)) + "...";
        units += unitsOf(c);
        pos += used;
    }
    return std::string(text);
}

std::string logSafe(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size(); ++pos) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        const auto next = pos + 1 < text.size() ? static_cast<unsigned char>(text[pos + 1]) : 0;
        const auto third = pos + 2 < text.size() ? static_cast<unsigned char>(text[pos + 2]) : 0;
        if (byte < 0x20 || byte == 0x7F) {
            out += '?';
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {  // C1 control
            out += '?';
            pos += 1;
        } else if (byte == 0xE2 && next == 0x80 && (third == 0xA8 || third == 0xA9)) {  // U+2028, U+2029
            out += '?';
            pos += 2;
        } else {
            out += text[pos];
        }
    }
    return out;
}

std::optional<std::string> percentDecode(std::string_view encoded)
{
    std::string out;
    out.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            out += encoded[i];
            continue;
        }
        if (i + 2 >= encoded.size()) return std::nullopt;
        const int high = hexValue(encoded[i + 1]);
        const int low = hexValue(encoded[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

std::optional<std::vector<QueryParameter>> parseQuery(std::string_view query)
{
    std::vector<QueryParameter> parameters;
    while (!query.empty()) {
        const std::size_t end = std::min(query.find('&'), query.size());
        const std::string_view piece = query.substr(0, end);
        query.remove_prefix(std::min(end + 1, query.size()));
        if (piece.empty()) continue;
        const std::size_t equals = piece.find('=');
        auto name = percentDecode(piece.substr(0, equals));
        auto value = percentDecode(equals == std::string_view::npos ? std::string_view() : piece.substr(equals + 1));
        if (!name || !value) return std::nullopt;
        parameters.push_back({std::move(*name), std::move(*value)});
    }
    return parameters;
}

}  // namespace VelmorServer
