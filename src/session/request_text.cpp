#include "session/request_text.h"

#include "json/json_value.h"

namespace Velmor {

std::string composeRequest(std::string_view type, std::string_view members)
{
    const std::string escapedType = escapeJsonString(type);
    std::string text;
    text.reserve(escapedType.size() + members.size() + 12);
    text += "{\"type\":\"";
    text += escapedType;
    text += '"';
    if (!members.empty()) {
        text += ',';
        text += members;
    }
    text += '}';
    return text;
}

std::string stringMember(std::string_view name, std::string_view value)
{
    std::string member;
    member.reserve(name.size() + value.size() + 13);
    member += '"';
    member += name;
    member += "\":\"";
    member += escapeJsonString(value);
    member += '"';
    return member;
}

std::string percentEncode(std::string_view utf8)
{
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(utf8.size() * 3);
    for (const char ch : utf8) {
        const unsigned char c = static_cast<unsigned char>(ch);
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                                c == '-' || c == '.' || c == '_' || c == '~';
        if (unreserved) {
            encoded.push_back(ch);
        } else {
            encoded.push_back('%');
            encoded.push_back(kHexDigits[c >> 4]);
            encoded.push_back(kHexDigits[c & 0x0F]);
        }
    }
    return encoded;
}

std::string connectionPathUtf8(std::string_view utf8UserName)
{
    return "/websocket?user=" + percentEncode(utf8UserName);
}

}  // namespace Velmor
