// Composition of the client's requests and of its connection path. Byte-level:
// no Windows header, built and tested natively as well.
#pragma once

#include <string>
#include <string_view>

namespace Velmor {

// {"type":"<escaped type>"} or {"type":"<escaped type>",<members>}: `members` are
// the request's further members, already written as JSON text without braces
// and without a leading comma. No white space is added anywhere.
std::string composeRequest(std::string_view type, std::string_view members = {});

// One string member, "name":"<escaped value>", for composing `members`.
std::string stringMember(std::string_view name, std::string_view value);

// Percent-encodes every byte of a UTF-8 name except A-Z, a-z, 0-9, '-', '.',
// '_' and '~', with upper-case hexadecimal digits.
std::string percentEncode(std::string_view utf8);

// "/websocket?user=" followed by the percent-encoded name.
std::string connectionPathUtf8(std::string_view utf8UserName);

}  // namespace Velmor
