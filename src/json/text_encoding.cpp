#include "json/text_encoding.h"

#include <windows.h>

#include <climits>
#include <cwctype>

namespace Velmor {

std::wstring utf8ToUtf16(std::string_view bytes)
{
    if (bytes.empty()) return {};
    // Plain ASCII, the common case for names and message types, converts one
    // byte to one unit without two trips through the platform converter.
    bool ascii = true;
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii) return std::wstring(bytes.begin(), bytes.end());
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) return std::wstring(1, L'\uFFFD');
    const int inputLength = static_cast<int>(bytes.size());

    for (const DWORD flags : {static_cast<DWORD>(MB_ERR_INVALID_CHARS), static_cast<DWORD>(0)}) {
        const int needed = MultiByteToWideChar(CP_UTF8, flags, bytes.data(), inputLength, nullptr, 0);
        if (needed <= 0) continue;
        std::wstring out(static_cast<std::size_t>(needed), L'\0');
        const int written = MultiByteToWideChar(CP_UTF8, flags, bytes.data(), inputLength, out.data(), needed);
        if (written <= 0) continue;
        out.resize(static_cast<std::size_t>(written));
        return out;
    }
    return std::wstring(1, L'\uFFFD');
}

std::string utf16ToUtf8(std::wstring_view text)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) return {};
    const int inputLength = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), inputLength, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string out(static_cast<std::size_t>(needed), '\0');
    const int written =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), inputLength, out.data(), needed, nullptr, nullptr);
    if (written <= 0) return {};
    out.resize(static_cast<std::size_t>(written));
    return out;
}

bool isTrimmableSpace(wchar_t c)
{
    switch (c) {
    case 0x00A0:
    case 0x2007:
    case 0x200B:
    case 0x202F:
    case 0x2060:
    case 0xFEFF:
        return true;
    default:
        return std::iswspace(static_cast<wint_t>(c)) != 0;
    }
}

std::wstring trimWhitespace(std::wstring_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isTrimmableSpace(text[begin])) ++begin;
    while (end > begin && isTrimmableSpace(text[end - 1])) --end;
    return std::wstring(text.substr(begin, end - begin));
}

}  // namespace Velmor
