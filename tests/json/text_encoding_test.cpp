// The UTF-8/UTF-16 conversions and trimming over the platform converters.
#include "json/text_encoding.h"

#include <gtest/gtest.h>

using Velmor::trimWhitespace;
using Velmor::utf16ToUtf8;
using Velmor::utf8ToUtf16;

TEST(TextEncoding, Utf8ToUtf16ConvertsValidText)
{
    EXPECT_EQ(utf8ToUtf16(""), L"");
    EXPECT_EQ(utf8ToUtf16("Zo\xC3\xAB K"), L"Zo\u00EB K");
    EXPECT_EQ(utf8ToUtf16("\xD8\xA5\xD8\xB1\xD8\xB3\xD8\xA7\xD9\x84"), L"\u0625\u0631\u0633\u0627\u0644");
    EXPECT_EQ(utf8ToUtf16("\xF0\x9F\x98\x80"), std::wstring(L"\xD83D\xDE00"));
    EXPECT_EQ(utf8ToUtf16(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

TEST(TextEncoding, Utf8ToUtf16ReplacesBrokenSequences)
{
    EXPECT_EQ(utf8ToUtf16("A\xFF" "B"), L"A\uFFFDB");
    EXPECT_EQ(utf8ToUtf16("\xC3"), L"\uFFFD");                   // truncated sequence
    EXPECT_EQ(utf8ToUtf16("\xED\xA0\x80").find(L'\xD800'), std::wstring::npos);  // encoded surrogate
    EXPECT_NE(utf8ToUtf16("\xC0\xAF").find(L'\uFFFD'), std::wstring::npos);       // overlong slash
}

TEST(TextEncoding, Utf16ToUtf8)
{
    EXPECT_EQ(utf16ToUtf8(L""), "");
    EXPECT_EQ(utf16ToUtf8(L"Zo\u00EB K"), "Zo\xC3\xAB K");
    EXPECT_EQ(utf16ToUtf8(std::wstring(L"\xD83D\xDE00")), "\xF0\x9F\x98\x80");
    // An unpaired surrogate is written as the converter writes it: U+FFFD.
    EXPECT_EQ(utf16ToUtf8(std::wstring(L"a\xD800" L"b")), "a\xEF\xBF\xBD" "b");
}

TEST(TextEncoding, RoundTripKeepsEveryBmpCharacterOutsideSurrogates)
{
    std::wstring all;
    for (wchar_t c = 1; c < 0xD800; ++c) all.push_back(c);
    for (unsigned c = 0xE000; c <= 0xFFFF; ++c) all.push_back(static_cast<wchar_t>(c));
    EXPECT_EQ(utf8ToUtf16(utf16ToUtf8(all)), all);
}

TEST(TextEncoding, TrimWhitespace)
{
    EXPECT_EQ(trimWhitespace(L""), L"");
    EXPECT_EQ(trimWhitespace(L"   "), L"");
    EXPECT_EQ(trimWhitespace(L"\uFEFFname\u00A0"), L"name");
    EXPECT_EQ(trimWhitespace(L" two words "), L"two words");
    EXPECT_EQ(trimWhitespace(L"\t\r\n\u2007\u200B\u202F\u2060x\u2060\u202F\u200B\u2007\n\r\t"), L"x");
    EXPECT_EQ(trimWhitespace(L"a\u00A0b"), L"a\u00A0b");  // inner white space stays
    EXPECT_EQ(trimWhitespace(L"\u3000ideographic\u3000"), L"ideographic");  // iswspace counts it
    EXPECT_EQ(trimWhitespace(L"\u00ADsoft"), L"\u00ADsoft");  // a soft hyphen is not space
}
