// What the server accepts as a name or a line of text, and the percent-decoding
// of the query strings through which names arrive. No sockets, no Boost: the
// community rules and the upgrade checks share these and test them natively.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace VelmorServer {

// Names (users and rooms) and game titles: at most this many UTF-16 code units,
// the unit the client's name box counts, so the two agree on the length and a
// name of 64 characters outside the Basic Multilingual Plane (128 units) is
// refused by both.
inline constexpr std::size_t kMaxNameLength = 64;

// Room chat and direct-message lines, in UTF-16 code units.
inline constexpr std::size_t kMaxTextLength = 10000;

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
std::optional<std::u32string> decodeUtf8(std::string_view bytes);
bool isValidUtf8(std::string_view bytes);

// Length of valid UTF-8 in UTF-16 code units; nullopt for invalid UTF-8.
std::optional<std::size_t> utf16Length(std::string_view utf8);

// Characters the client trims from names (Unicode white space plus the
// zero-width and no-break spaces).
bool isSpaceLike(char32_t c);

// Why `name` cannot be a user or room name, as a sentence naming it by `what`
// ("The user name is empty."), or empty when it is acceptable: valid UTF-8,
// 1 to 64 UTF-16 code units, no white space at either end, and no C0 control
// other than tab nor DEL.
std::string nameProblem(std::string_view name, std::string_view what);

// The same for a game title, which may be empty.
std::string gameProblem(std::string_view game);

// The same for a chat or direct-message line: not blank, within the length
// limit, no control characters other than tab (C0, DEL, C1) and no line or
// paragraph separator.
std::string textProblem(std::string_view text);

// `text` with every C0 control, DEL, C1 control, U+2028 and U+2029 replaced by
// "?", for the server's own log lines: names may carry some of them, and the
// log goes to a terminal.
std::string logSafe(std::string_view text);

// The longest prefix of valid UTF-8 `text` that is at most `maxUnits` UTF-16
// code units, with "..." appended when something was cut.
std::string shortened(std::string_view text, std::size_t maxUnits);

// RFC 3986 percent-decoding of one query component. "+" stays "+" (the client
// encodes a space as %20). nullopt for a "%" not followed by two hex digits.
std::optional<std::string> percentDecode(std::string_view encoded);

struct QueryParameter {
    std::string name;
    std::string value;
};

// Splits "a=1&b=2" and decodes every name and value. A parameter without "="
// has an empty value; empty pieces ("a=1&&b=2") are skipped.
std::optional<std::vector<QueryParameter>> parseQuery(std::string_view query);

}  // namespace VelmorServer
