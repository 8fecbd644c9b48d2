// The parsed form of one protocol message, its parser, the lenient readers
// every handler uses, and the escaper requests are composed with.
//
// Byte-level code: no Windows header, built and tested natively and under Wine.
// There is deliberately no tree-to-text serialiser; requests are assembled from
// literal fragments and escaped strings.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Velmor {

enum class JsonKind { Null, Boolean, Number, String, Array, Object };

// A value type: copies are deep, moves steal. Every field exists in every
// value; only the one(s) matching `kind` are meaningful.
struct JsonValue {
    JsonKind kind = JsonKind::Null;
    bool boolValue = false;
    double numberValue = 0.0;
    std::string stringValue;                          // UTF-8 as received, not validated
    std::vector<JsonValue> arrayItems;                // document order
    std::map<std::string, JsonValue, std::less<>> objectMembers;  // byte-wise key order; last duplicate wins

    // The member with exactly this key, or nullptr (also for every non-object).
    const JsonValue* member(std::string_view name) const;

    // String: its bytes. Number: truncated toward zero, in decimal. Boolean:
    // "true"/"false". Null, array, object: `defaultText`.
    std::string asText(std::string_view defaultText) const;

    // Number: truncated toward zero. String: its leading base-10 integer as
    // strtoll reads it; no digits or out of range gives `defaultValue`.
    // Every other kind gives `defaultValue`.
    std::int64_t asInteger(std::int64_t defaultValue) const;
};

// Deepest nesting accepted: the document is at depth 0, so an empty container
// may stand at depth 64 and anything deeper fails.
inline constexpr int kMaxJsonDepth = 64;

// Parses a whole message: white space around the value is allowed, anything
// else after it fails the document. Never throws, never reads past the text.
std::optional<JsonValue> parseJsonDocument(std::string_view text);

// About how many bytes a parsed value holds in memory, itself included.
std::size_t jsonFootprint(const JsonValue& value);

// Escapes bytes for use between the quotation marks of a JSON string.
std::string escapeJsonString(std::string_view bytes);

// The reader pattern of the message handlers: the member's asText(defaultText),
// or defaultText itself when the member is missing.
std::string memberText(const JsonValue& object, std::string_view key, std::string_view defaultText = {});

}  // namespace Velmor
