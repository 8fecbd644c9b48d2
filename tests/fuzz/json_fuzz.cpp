// Fuzzes the JSON parser with whole server messages and reads every parsed
// document the way the message handlers do (member, asText, asInteger,
// memberText, arrays of names, room entries). Checks: the nesting limit holds,
// escapes in valid UTF-8 give valid UTF-8, the readers agree with the tree, a
// document written back with the project's escaper parses to the same tree,
// white space around a document changes nothing, and any bytes escaped and
// quoted come back unchanged.
#include "fuzz_check.h"
#include "json/json_value.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

using namespace Velmor;

namespace {

void writeJson(const JsonValue& value, std::string& out)
{
    switch (value.kind) {
    case JsonKind::Null:
        out += "null";
        break;
    case JsonKind::Boolean:
        out += value.boolValue ? "true" : "false";
        break;
    case JsonKind::Number: {
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", value.numberValue);
        out += text;
        break;
    }
    case JsonKind::String:
        out += '"' + escapeJsonString(value.stringValue) + '"';
        break;
    case JsonKind::Array: {
        out += '[';
        const char* separator = "";
        for (const JsonValue& item : value.arrayItems) {
            out += separator;
            writeJson(item, out);
            separator = ",";
        }
        out += ']';
        break;
    }
    case JsonKind::Object: {
        out += '{';
        const char* separator = "";
        for (const auto& [key, member] : value.objectMembers) {
            out += separator;
            out += '"' + escapeJsonString(key) + "\":";
            writeJson(member, out);
            separator = ",";
        }
        out += '}';
        break;
    }
    }
}

bool sameTree(const JsonValue& a, const JsonValue& b)
{
    if (a.kind != b.kind) return false;
    switch (a.kind) {
    case JsonKind::Null: return true;
    case JsonKind::Boolean: return a.boolValue == b.boolValue;
    case JsonKind::Number: return a.numberValue == b.numberValue;
    case JsonKind::String: return a.stringValue == b.stringValue;
    case JsonKind::Array:
        if (a.arrayItems.size() != b.arrayItems.size()) return false;
        for (std::size_t i = 0; i < a.arrayItems.size(); ++i)
            if (!sameTree(a.arrayItems[i], b.arrayItems[i])) return false;
        return true;
    case JsonKind::Object:
        if (a.objectMembers.size() != b.objectMembers.size()) return false;
        for (auto i = a.objectMembers.begin(), j = b.objectMembers.begin(); i != a.objectMembers.end(); ++i, ++j)
            if (i->first != j->first || !sameTree(i->second, j->second)) return false;
        return true;
    }
    return false;
}

int deepest(const JsonValue& value, int depth)
{
    int result = depth;
    for (const JsonValue& item : value.arrayItems) result = std::max(result, deepest(item, depth + 1));
    for (const auto& entry : value.objectMembers) result = std::max(result, deepest(entry.second, depth + 1));
    return result;
}

// strtoll's reading of a decimal prefix (C locale), written out: nullopt for
// no digits or a value outside the 64-bit range. A NUL ends the digits, as it
// ends the C string strtoll reads.
std::optional<std::int64_t> leadingInteger(const std::string& text)
{
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || (text[pos] >= '\t' && text[pos] <= '\r'))) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
    const std::size_t digitsStart = pos;
    __int128 value = 0;
    bool overflow = false;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        value = value * 10 + (text[pos] - '0');
        if (value > (static_cast<__int128>(1) << 63)) overflow = true, value = static_cast<__int128>(1) << 63;
    }
    if (pos == digitsStart) return std::nullopt;
    if (negative) value = -value;
    if (overflow || value > INT64_MAX || value < INT64_MIN) return std::nullopt;
    return static_cast<std::int64_t>(value);
}

// Strict UTF-8 (no overlong forms, surrogates or values above U+10FFFF).
bool isStrictUtf8(std::string_view bytes)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                           : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
        if (length == 0 || bytes.size() - i < length) return false;
        std::uint32_t value = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            value = value << 6 | (next & 0x3F);
        }
        static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

// Escapes cannot make valid text invalid: from valid UTF-8 come only valid
// strings and keys (a lone surrogate escape is refused, a pair is joined).
bool allTextValid(const JsonValue& value)
{
    if (value.kind == JsonKind::String && !isStrictUtf8(value.stringValue)) return false;
    for (const JsonValue& item : value.arrayItems)
        if (!allTextValid(item)) return false;
    for (const auto& [key, member] : value.objectMembers)
        if (!isStrictUtf8(key) || !allTextValid(member)) return false;
    return true;
}

void checkReaders(const JsonValue& value)
{
    constexpr std::int64_t kDefaultA = -7;
    constexpr std::int64_t kDefaultB = 11;
    const std::int64_t a = value.asInteger(kDefaultA);
    const std::int64_t b = value.asInteger(kDefaultB);
    switch (value.kind) {
    case JsonKind::Number: {
        FUZZ_CHECK(a == b);
        constexpr double kTwoTo63 = 9223372036854775808.0;
        if (value.numberValue >= kTwoTo63) FUZZ_CHECK(a == INT64_MAX);
        else if (value.numberValue < -kTwoTo63) FUZZ_CHECK(a == INT64_MIN);
        else FUZZ_CHECK(static_cast<double>(a) == std::trunc(value.numberValue));
        FUZZ_CHECK(value.asText("d") == std::to_string(a));
        break;
    }
    case JsonKind::String: {
        const std::optional<std::int64_t> expected = leadingInteger(value.stringValue);
        if (expected) FUZZ_CHECK(a == *expected && b == *expected);
        else FUZZ_CHECK(a == kDefaultA && b == kDefaultB);
        FUZZ_CHECK(value.asText("d") == value.stringValue);
        break;
    }
    case JsonKind::Boolean:
        FUZZ_CHECK(a == kDefaultA && b == kDefaultB);
        FUZZ_CHECK(value.asText("d") == (value.boolValue ? "true" : "false"));
        break;
    default:
        FUZZ_CHECK(a == kDefaultA && b == kDefaultB);
        FUZZ_CHECK(value.asText("d") == "d");
        break;
    }
    if (value.kind != JsonKind::Object) FUZZ_CHECK(value.member("type") == nullptr && value.member("") == nullptr);
    for (const auto& [key, member] : value.objectMembers) {
        FUZZ_CHECK(value.member(key) == &member);
        FUZZ_CHECK(memberText(value, key, "d") == member.asText("d"));
    }
    for (const JsonValue& item : value.arrayItems) checkReaders(item);
    for (const auto& entry : value.objectMembers) checkReaders(entry.second);
}

// What the client's handlers take from a message, so the fuzzer follows the
// same paths: the type, name arrays, counts and room entries.
std::size_t readLikeTheClient(const JsonValue& message)
{
    std::size_t seen = memberText(message, "type").size();
    for (const char* key : {"users", "recent_users", "went_online", "went_offline", "capabilities"}) {
        if (const JsonValue* names = message.member(key); names && names->kind == JsonKind::Array)
            for (const JsonValue& name : names->arrayItems) seen += name.asText("").size();
    }
    if (const JsonValue* count = message.member("online_count")) seen += static_cast<std::size_t>(count->asInteger(0) & 1);
    if (const JsonValue* rooms = message.member("rooms"); rooms && rooms->kind == JsonKind::Array) {
        for (const JsonValue& room : rooms->arrayItems) {
            seen += memberText(room, "name").size() + memberText(room, "game").size() + memberText(room, "host").size();
            const JsonValue* players = room.member("users") ? room.member("users") : room.member("players");
            if (players) seen += static_cast<std::size_t>(players->asInteger(0) & 1);
            if (const JsonValue* maximum = room.member("max_players")) seen += static_cast<std::size_t>(maximum->asInteger(0) & 1);
        }
    }
    for (const char* key : {"room", "username", "host", "text", "from", "to", "request_id", "action", "reason", "context",
                            "message", "by", "game"})
        seen += memberText(message, key, "-").size();
    return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::optional<JsonValue> parsed = parseJsonDocument(text);
    if (parsed) {
        FUZZ_CHECK(deepest(*parsed, 0) <= kMaxJsonDepth);
        if (isStrictUtf8(text)) FUZZ_CHECK(allTextValid(*parsed));
        checkReaders(*parsed);
        readLikeTheClient(*parsed);

        std::string written;
        writeJson(*parsed, written);
        const std::optional<JsonValue> again = parseJsonDocument(written);
        FUZZ_CHECK(again.has_value());
        FUZZ_CHECK(sameTree(*parsed, *again));
    }

    const std::string padded = " \r\n\t" + std::string(text) + "\n ";
    const std::optional<JsonValue> paddedParsed = parseJsonDocument(padded);
    FUZZ_CHECK(paddedParsed.has_value() == parsed.has_value());
    if (parsed) FUZZ_CHECK(sameTree(*parsed, *paddedParsed));

    const std::string escaped = escapeJsonString(text);
    for (const char c : escaped) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20);
    const std::optional<JsonValue> quoted = parseJsonDocument('"' + escaped + '"');
    FUZZ_CHECK(quoted && quoted->kind == JsonKind::String && quoted->stringValue == text);
    return 0;
}
