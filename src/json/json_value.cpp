// Recursive-descent JSON parser (RFC 8259 with the protocol's own leniencies:
// leading zeros, "1." and ".5" are numbers), the lenient readers and the escaper.
#include "json/json_value.h"

#include "json/utf8.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace Velmor {
namespace {

bool isJsonSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

class Parser {
public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::optional<JsonValue> parseDocument()
    {
        JsonValue value;
        if (!parseValue(value, 0)) return std::nullopt;
        skipWhitespace();
        if (pos_ != text_.size()) return std::nullopt;
        return value;
    }

private:
    bool atEnd() const { return pos_ >= text_.size(); }
    char peek() const { return text_[pos_]; }

    void skipWhitespace()
    {
        while (!atEnd() && isJsonSpace(peek())) ++pos_;
    }

    bool consumeLiteral(std::string_view literal)
    {
        if (text_.substr(pos_, literal.size()) != literal) return false;
        pos_ += literal.size();
        return true;
    }

    bool parseValue(JsonValue& out, int depth)
    {
        skipWhitespace();
        if (depth > kMaxJsonDepth || atEnd()) return false;
        switch (peek()) {
        case '"':
            out.kind = JsonKind::String;
            return parseString(out.stringValue);
        case '[':
            return parseArray(out, depth);
        case '{':
            return parseObject(out, depth);
        case 't':
            if (consumeLiteral("true")) {
                out.kind = JsonKind::Boolean;
                out.boolValue = true;
                return true;
            }
            break;
        case 'f':
            if (consumeLiteral("false")) {
                out.kind = JsonKind::Boolean;
                out.boolValue = false;
                return true;
            }
            break;
        case 'n':
            if (consumeLiteral("null")) {
                out.kind = JsonKind::Null;
                return true;
            }
            break;
        default:
            break;
        }
        return parseNumber(out);
    }

    bool parseArray(JsonValue& out, int depth)
    {
        out.kind = JsonKind::Array;
        ++pos_;  // '['
        skipWhitespace();
        if (!atEnd() && peek() == ']') {
            ++pos_;
            return true;
        }
        for (;;) {
            JsonValue item;
            if (!parseValue(item, depth + 1)) return false;
            out.arrayItems.push_back(std::move(item));
            skipWhitespace();
            if (atEnd()) return false;
            const char c = text_[pos_++];
            if (c == ']') return true;
            if (c != ',') return false;
        }
    }

    bool parseObject(JsonValue& out, int depth)
    {
        out.kind = JsonKind::Object;
        ++pos_;  // '{'
        skipWhitespace();
        if (!atEnd() && peek() == '}') {
            ++pos_;
            return true;
        }
        for (;;) {
            skipWhitespace();
            if (atEnd() || peek() != '"') return false;
            std::string key;
            if (!parseString(key)) return false;
            skipWhitespace();
            if (atEnd() || peek() != ':') return false;
            ++pos_;
            JsonValue value;
            if (!parseValue(value, depth + 1)) return false;
            out.objectMembers.insert_or_assign(std::move(key), std::move(value));
            skipWhitespace();
            if (atEnd()) return false;
            const char c = text_[pos_++];
            if (c == '}') return true;
            if (c != ',') return false;
        }
    }

    bool readHexUnit(std::uint32_t& unit)
    {
        if (text_.size() - pos_ < 4) return false;
        unit = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = hexValue(text_[pos_ + i]);
            if (digit < 0) return false;
            unit = (unit << 4) | static_cast<std::uint32_t>(digit);
        }
        pos_ += 4;
        return true;
    }

    // Called with pos_ just after "\u".
    bool parseUnicodeEscape(std::string& out)
    {
        std::uint32_t unit = 0;
        if (!readHexUnit(unit)) return false;
        if (unit >= 0xDC00 && unit <= 0xDFFF) return false;  // lone low surrogate
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (!consumeLiteral("\\u")) return false;
            std::uint32_t low = 0;
            if (!readHexUnit(low) || low < 0xDC00 || low > 0xDFFF) return false;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        appendUtf8(out, unit);
        return true;
    }

    bool parseString(std::string& out)
    {
        ++pos_;  // opening quote
        for (;;) {
            // Copy the run of ordinary bytes in one go.
            const std::size_t runStart = pos_;
            while (!atEnd()) {
                const unsigned char c = static_cast<unsigned char>(peek());
                if (c == '"' || c == '\\' || c < 0x20) break;
                ++pos_;
            }
            out.append(text_.data() + runStart, pos_ - runStart);
            if (atEnd()) return false;
            const unsigned char c = static_cast<unsigned char>(text_[pos_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            // Backslash escape.
            if (atEnd()) return false;
            const char escape = text_[pos_++];
            switch (escape) {
            case '"': out.push_back('"'); break;
            case '/': out.push_back('/'); break;
            case '\\': out.push_back('\\'); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            case 'n': out.push_back('\n'); break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'u':
                if (!parseUnicodeEscape(out)) return false;
                break;
            default:
                return false;
            }
        }
    }

    bool parseNumber(JsonValue& out)
    {
        const std::size_t start = pos_;
        if (!atEnd() && peek() == '-') ++pos_;
        std::size_t digits = 0;
        while (!atEnd() && isDigit(peek())) {
            ++pos_;
            ++digits;
        }
        if (!atEnd() && peek() == '.') {
            ++pos_;
            while (!atEnd() && isDigit(peek())) {
                ++pos_;
                ++digits;
            }
        }
        if (digits == 0) return false;
        if (!atEnd() && (peek() == 'e' || peek() == 'E')) {
            ++pos_;
            if (!atEnd() && (peek() == '+' || peek() == '-')) ++pos_;
            std::size_t exponentDigits = 0;
            while (!atEnd() && isDigit(peek())) {
                ++pos_;
                ++exponentDigits;
            }
            if (exponentDigits == 0) return false;
        }

        // strtod needs a terminated copy; the matched text is known to be a
        // complete number, so whatever strtod rejects is a range problem.
        const std::string number(text_.substr(start, pos_ - start));
        char* end = nullptr;
        errno = 0;
        const double value = std::strtod(number.c_str(), &end);
        if (end == number.c_str() || errno == ERANGE) return false;
        out.kind = JsonKind::Number;
        out.numberValue = value;
        return true;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

// Truncates toward zero into the signed 64-bit range. Values beyond the range
// saturate instead of invoking undefined behaviour.
std::int64_t truncateToInt64(double value)
{
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (std::isnan(value)) return 0;
    if (value >= kTwoTo63) return INT64_MAX;
    if (value < -kTwoTo63) return INT64_MIN;
    return static_cast<std::int64_t>(value);
}

}  // namespace

const JsonValue* JsonValue::member(std::string_view name) const
{
    if (kind != JsonKind::Object) return nullptr;
    const auto found = objectMembers.find(name);
    return found == objectMembers.end() ? nullptr : &found->second;
}

std::string JsonValue::asText(std::string_view defaultText) const
{
    switch (kind) {
    case JsonKind::String:
        return stringValue;
    case JsonKind::Number:
        return std::to_string(truncateToInt64(numberValue));
    case JsonKind::Boolean:
        return boolValue ? "true" : "false";
    default:
        return std::string(defaultText);
    }
}

std::int64_t JsonValue::asInteger(std::int64_t defaultValue) const
{
    if (kind == JsonKind::Number) return truncateToInt64(numberValue);
    if (kind != JsonKind::String) return defaultValue;
    const char* begin = stringValue.c_str();
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(begin, &end, 10);
    if (end == begin || errno == ERANGE) return defaultValue;
    return value;
}

std::optional<JsonValue> parseJsonDocument(std::string_view text)
{
    return Parser(text).parseDocument();
}

std::string escapeJsonString(std::string_view bytes)
{
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() + 8);
    for (const char ch : bytes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case 0x08: out += "\\b"; break;
        case 0x0C: out += "\\f"; break;
        case 0x0A: out += "\\n"; break;
        case 0x0D: out += "\\r"; break;
        case 0x09: out += "\\t"; break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out.push_back(kHexDigits[c >> 4]);
                out.push_back(kHexDigits[c & 0x0F]);
            } else {
                out.push_back(ch);
            }
        }
    }
    return out;
}

std::string memberText(const JsonValue& object, std::string_view key, std::string_view defaultText)
{
    const JsonValue* value = object.member(key);
    return value ? value->asText(defaultText) : std::string(defaultText);
}

std::size_t jsonFootprint(const JsonValue& value)
{
    // A map node carries its key and value plus the tree's own links.
    constexpr std::size_t kMemberOverhead = sizeof(std::string) + 4 * sizeof(void*);
    std::size_t bytes = sizeof(JsonValue) + value.stringValue.size();
    for (const JsonValue& item : value.arrayItems) bytes += jsonFootprint(item);
    for (const auto& [key, member] : value.objectMembers) bytes += kMemberOverhead + key.size() + jsonFootprint(member);
    return bytes;
}

}  // namespace Velmor
