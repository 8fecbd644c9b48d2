// Parser, readers and escaper on byte strings. Runs natively and under Wine.
#include "json/json_value.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>

using Velmor::JsonKind;
using Velmor::JsonValue;
using Velmor::parseJsonDocument;

namespace {

std::string nested(int arrays)
{
    return std::string(static_cast<std::size_t>(arrays), '[') + std::string(static_cast<std::size_t>(arrays), ']');
}

struct DocumentCase {
    const char* name;
    std::string text;
    bool parses;
};

class DocumentGrammar : public ::testing::TestWithParam<DocumentCase> {};

TEST_P(DocumentGrammar, AcceptsOrRejects)
{
    const DocumentCase& c = GetParam();
    EXPECT_EQ(parseJsonDocument(c.text).has_value(), c.parses) << c.name << ": " << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Json, DocumentGrammar,
    ::testing::Values(
        DocumentCase{"object with surrounding space and CRLF", "  {\"a\":1}\r\n", true},
        DocumentCase{"empty object", "{}", true},
        DocumentCase{"empty array", "[]", true},
        DocumentCase{"spaces inside empty containers", "{ \t\r\n}", true},
        DocumentCase{"bare scalar document", "42", true},
        DocumentCase{"bare string document", "\"x\"", true},
        DocumentCase{"literals", "[true,false,null]", true},
        DocumentCase{"nested mixed", "{\"a\":[1,{\"b\":[\"c\",null]}],\"d\":{}}", true},
        DocumentCase{"empty text", "", false},
        DocumentCase{"only white space", " \r\n\t", false},
        DocumentCase{"object followed by text", "{} x", false},
        DocumentCase{"two objects", "{}{}", false},
        DocumentCase{"trailing comma in object", "{\"a\":1,}", false},
        DocumentCase{"trailing comma in array", "[1,]", false},
        DocumentCase{"leading comma in array", "[,1]", false},
        DocumentCase{"missing colon", "{\"a\" 1}", false},
        DocumentCase{"unquoted key", "{a:1}", false},
        DocumentCase{"missing comma", "[1 2]", false},
        DocumentCase{"unterminated array", "[1,2", false},
        DocumentCase{"unterminated object", "{\"a\":1", false},
        DocumentCase{"unterminated string", "\"abc", false},
        DocumentCase{"truncated literal", "tru", false},
        DocumentCase{"misspelt literal", "nul", false},
        DocumentCase{"literal with suffix", "[truex]", false},
        DocumentCase{"upper-case literal", "True", false},
        DocumentCase{"form feed is not white space", "\f{}", false},
        DocumentCase{"non-breaking space is not white space", "\xC2\xA0{}", false},
        DocumentCase{"raw tab in string", "\"a\tb\"", false},
        DocumentCase{"raw newline in string", "\"a\nb\"", false},
        DocumentCase{"raw byte 0x1F in string", "\"a\x1F\"", false},
        DocumentCase{"DEL byte in string is data", "\"a\x7F\"", true},
        DocumentCase{"unknown escape", "\"\\x41\"", false},
        DocumentCase{"escape at end of text", "\"\\", false},
        DocumentCase{"short unicode escape", "\"\\u12\"", false},
        DocumentCase{"non-hex unicode escape", "\"\\u12G4\"", false},
        DocumentCase{"lone low surrogate", "\"\\uDE00\"", false},
        DocumentCase{"high surrogate then letter", "\"\\uD83Dx\"", false},
        DocumentCase{"high surrogate then non-surrogate escape", "\"\\uD83D\\u0041\"", false},
        DocumentCase{"high surrogate then high surrogate", "\"\\uD83D\\uD83D\"", false},
        DocumentCase{"high surrogate at end", "\"\\uD83D\"", false},
        DocumentCase{"lone minus", "-", false},
        DocumentCase{"lone point", ".", false},
        DocumentCase{"exponent without digits", "1e", false},
        DocumentCase{"exponent sign without digits", "1e+", false},
        DocumentCase{"plus sign", "+1", false},
        DocumentCase{"double point", "1.2.3", false},
        DocumentCase{"overflowing number", "1e999", false},
        DocumentCase{"overflowing negative number", "-1e999", false},
        DocumentCase{"hex number", "0x10", false},
        DocumentCase{"infinity word", "Infinity", false},
        DocumentCase{"nan word", "NaN", false},
        DocumentCase{"65 nested arrays", nested(65), true},
        DocumentCase{"66 nested arrays", nested(66), false},
        DocumentCase{"deep unterminated nesting", std::string(100000, '['), false}),
    [](const ::testing::TestParamInfo<DocumentCase>& param) {
        std::string name;
        for (const char c : std::string(param.param.name)) name.push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
        return name;
    });

TEST(JsonParser, DuplicateKeyKeepsTheLastValue)
{
    const auto value = parseJsonDocument(R"({"a":1,"b":true,"a":2})");
    ASSERT_TRUE(value);
    ASSERT_EQ(value->objectMembers.size(), 2u);
    const JsonValue* a = value->member("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->kind, JsonKind::Number);
    EXPECT_EQ(a->numberValue, 2.0);
}

TEST(JsonParser, ObjectMembersAreOrderedByteWise)
{
    // Bytes from 0x80 up sort after ASCII, as plain unsigned byte comparison does.
    const auto value = parseJsonDocument("{\"\xC3\xA9\":1,\"b\":2,\"B\":3,\"a\":4}");
    ASSERT_TRUE(value);
    std::string order;
    for (const auto& [key, member] : value->objectMembers) order += key + ",";
    EXPECT_EQ(order, "B,a,b,\xC3\xA9,");
}

TEST(JsonParser, ArrayKeepsDocumentOrderAndKinds)
{
    const auto value = parseJsonDocument(R"([ "x" , 1.5 , false , null , [] , {} ])");
    ASSERT_TRUE(value);
    ASSERT_EQ(value->kind, JsonKind::Array);
    ASSERT_EQ(value->arrayItems.size(), 6u);
    EXPECT_EQ(value->arrayItems[0].stringValue, "x");
    EXPECT_EQ(value->arrayItems[1].numberValue, 1.5);
    EXPECT_EQ(value->arrayItems[2].kind, JsonKind::Boolean);
    EXPECT_FALSE(value->arrayItems[2].boolValue);
    EXPECT_EQ(value->arrayItems[3].kind, JsonKind::Null);
    EXPECT_EQ(value->arrayItems[4].kind, JsonKind::Array);
    EXPECT_EQ(value->arrayItems[5].kind, JsonKind::Object);
}

TEST(JsonParser, DepthLimitAppliesToObjectsToo)
{
    std::string ok;
    for (int i = 0; i < 64; ++i) ok += "{\"k\":";
    ok += "{}";
    for (int i = 0; i < 64; ++i) ok += "}";
    EXPECT_TRUE(parseJsonDocument(ok));  // innermost {} at depth 64

    std::string deep = "{\"k\":" + ok + "}";
    EXPECT_FALSE(parseJsonDocument(deep));
}

TEST(JsonParser, StringEscapes)
{
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {R"("\"\\\/\b\f\n\r\t")", "\"\\/\b\f\n\r\t"},
        {R"("\u0041\u00e9\u20AC")", "A\xC3\xA9\xE2\x82\xAC"},
        {R"("\uD83D\uDE00")", "\xF0\x9F\x98\x80"},
        {R"("\udbff\udfff")", "\xF4\x8F\xBF\xBF"},
        {R"("\u0009")", "\t"},
        {R"("a\u0000b")", std::string("a\0b", 3)},
        {"\"\xFF\xFE raw\"", "\xFF\xFE raw"},  // bytes >= 0x80 are copied unvalidated
        {R"("")", ""},
    };
    for (const Case& c : cases) {
        const auto value = parseJsonDocument(c.text);
        ASSERT_TRUE(value) << c.text;
        EXPECT_EQ(value->kind, JsonKind::String);
        EXPECT_EQ(value->stringValue, c.expected) << c.text;
    }
}

TEST(JsonParser, Numbers)
{
    struct Case {
        const char* text;
        double expected;
    };
    const Case cases[] = {
        {"0", 0.0},         {"-0", -0.0},       {"01", 1.0},          {"007.5", 7.5},   {".5", 0.5},
        {"-.5", -0.5},      {"1.", 1.0},        {"1e3", 1000.0},      {"1E+2", 100.0},  {"25e-1", 2.5},
        {"-12.25", -12.25}, {"1.e1", 10.0},     {"123456789", 123456789.0},
    };
    for (const Case& c : cases) {
        const auto value = parseJsonDocument(c.text);
        ASSERT_TRUE(value) << c.text;
        EXPECT_EQ(value->kind, JsonKind::Number) << c.text;
        EXPECT_EQ(value->numberValue, c.expected) << c.text;
    }
    const auto negativeZero = parseJsonDocument("-0");
    ASSERT_TRUE(negativeZero);
    EXPECT_TRUE(std::signbit(negativeZero->numberValue));
}

// Parses `text` from a heap block of exactly its size, with no terminator
// after it: a read one byte past the end is a heap overflow the sanitizer
// build reports (a std::string's terminator would make it look legal).
std::optional<JsonValue> parseExactBuffer(std::string_view text)
{
    const auto buffer = std::make_unique<char[]>(text.size());
    std::memcpy(buffer.get(), text.data(), text.size());
    return parseJsonDocument(std::string_view(buffer.get(), text.size()));
}

TEST(JsonParser, NeverReadsPastTheEndOfTheText)
{
    // Every proper prefix of these documents is incomplete, so it must fail.
    const std::string documents[] = {
        R"({"type":"users_list","users":["a\u00e9",1.5e2,true,null,{"x":[-0.5]}],"s":"\uD83D\uDE00\n"})",
        R"([false,"\"\\\/\b\f\r\t",-12.5E+3,{}])",
        R"("\u0041\ud83d\ude00")",
    };
    for (const std::string& document : documents) {
        for (std::size_t length = 0; length < document.size(); ++length) {
            EXPECT_FALSE(parseExactBuffer(std::string_view(document).substr(0, length))) << document << " @" << length;
        }
        EXPECT_TRUE(parseExactBuffer(document)) << document;
    }

    // A number or literal that ends the text is read up to the last byte only.
    struct Case {
        const char* text;
        bool parses;
    };
    const Case scalars[] = {{"-", false}, {"-1", true}, {"-12.", true}, {"-12.5e", false}, {"-12.5e+", false},
                            {"-12.5e+3", true}, {"t", false}, {"tru", false}, {"true", true}, {"n", false},
                            {"nul", false}, {"null", true}, {"fals", false}, {"false", true}, {"\"\\u00e", false}};
    for (const Case& c : scalars) EXPECT_EQ(parseExactBuffer(c.text).has_value(), c.parses) << c.text;
}

TEST(JsonParser, ScalarsCountTowardsTheDepthLimit)
{
    const auto wrapped = [](int arrays) {
        return std::string(static_cast<std::size_t>(arrays), '[') + "1" + std::string(static_cast<std::size_t>(arrays), ']');
    };
    const auto parsed = parseJsonDocument(wrapped(64));  // the 1 stands at depth 64
    ASSERT_TRUE(parsed);
    const JsonValue* innermost = &*parsed;
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(innermost->arrayItems.size(), 1u);
        innermost = &innermost->arrayItems[0];
    }
    EXPECT_EQ(innermost->numberValue, 1.0);
    EXPECT_FALSE(parseJsonDocument(wrapped(65)));  // depth 65
    EXPECT_FALSE(parseJsonDocument(std::string(64, '[') + "{\"k\":1}" + std::string(64, ']')));
}

TEST(JsonParser, KeysAreComparedAfterEscapeProcessing)
{
    const auto escaped = parseJsonDocument(R"({"\u0061":1})");
    ASSERT_TRUE(escaped);
    ASSERT_NE(escaped->member("a"), nullptr);
    EXPECT_EQ(escaped->member("a")->numberValue, 1.0);
    EXPECT_EQ(escaped->member("\\u0061"), nullptr);

    // Duplicates that differ only in how they are written: the last one wins.
    for (const char* text : {R"({"a":1,"\u0061":2})", R"({"\u0061":1,"a":2})", R"({"t\u0079pe":1,"typ\u0065":2})"}) {
        const auto value = parseJsonDocument(text);
        ASSERT_TRUE(value) << text;
        ASSERT_EQ(value->objectMembers.size(), 1u) << text;
        EXPECT_EQ(value->objectMembers.begin()->second.numberValue, 2.0) << text;
    }
    const auto withZero = parseJsonDocument(R"({"a\u0000b":1,"a":2})");
    ASSERT_TRUE(withZero);
    EXPECT_EQ(withZero->objectMembers.size(), 2u);
    ASSERT_NE(withZero->member(std::string_view("a\0b", 3)), nullptr);
}

TEST(JsonParser, NumbersOutOfRangeFailIncludingUnderflow)
{
    // strtod reports ERANGE for results too small for a normal double (both
    // glibc and the MinGW-w64 runtime do, subnormal results included), and
    // the parse fails with it; zero written with any exponent is in range.
    for (const char* text : {"1e-400", "-1e-400", "1e-310", "4.9e-324", "2.2250738585072011e-308", "1e999", "-1e999",
                             "[1,1e-400]"}) {
        EXPECT_FALSE(parseJsonDocument(text)) << text;
    }
    const std::string longTiny = "0." + std::string(320, '0') + "1";
    EXPECT_FALSE(parseJsonDocument(longTiny));

    struct Case {
        const char* text;
        double expected;
    };
    const Case inRange[] = {{"2.2250738585072014e-308", 2.2250738585072014e-308},
                            {"1.7976931348623157e308", 1.7976931348623157e308},
                            {"0e-400", 0.0},
                            {"-0.0e999", -0.0},
                            {"1e-300", 1e-300}};
    for (const Case& c : inRange) {
        const auto value = parseJsonDocument(c.text);
        ASSERT_TRUE(value) << c.text;
        EXPECT_EQ(value->numberValue, c.expected) << c.text;
    }
}

TEST(JsonReaders, MemberOnlyOnObjects)
{
    const auto object = parseJsonDocument(R"({"type":"x","n":null})");
    ASSERT_TRUE(object);
    EXPECT_NE(object->member("type"), nullptr);
    EXPECT_NE(object->member("n"), nullptr);
    EXPECT_EQ(object->member("missing"), nullptr);
    EXPECT_EQ(object->member("TYPE"), nullptr);

    const auto array = parseJsonDocument(R"(["type"])");
    ASSERT_TRUE(array);
    EXPECT_EQ(array->member("type"), nullptr);
    EXPECT_EQ(JsonValue{}.member(""), nullptr);
}

TEST(JsonReaders, AsText)
{
    const auto value = parseJsonDocument(
        R"({"s":"hi","f":3.99,"neg":-2.5,"big":1e30,"t":true,"fl":false,"n":null,"a":[1],"o":{}})");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->member("s")->asText("d"), "hi");
    EXPECT_EQ(value->member("f")->asText("d"), "3");
    EXPECT_EQ(value->member("neg")->asText("d"), "-2");
    EXPECT_EQ(value->member("t")->asText("d"), "true");
    EXPECT_EQ(value->member("fl")->asText("d"), "false");
    EXPECT_EQ(value->member("n")->asText("d"), "d");
    EXPECT_EQ(value->member("a")->asText("d"), "d");
    EXPECT_EQ(value->member("o")->asText("d"), "d");
    // Beyond the 64-bit range the value saturates instead of misbehaving.
    EXPECT_EQ(value->member("big")->asText("d"), "9223372036854775807");
}

TEST(JsonReaders, AsInteger)
{
    const auto value = parseJsonDocument(
        R"({"spaced":" 12x","digits":"42abc","none":"abc","empty":"","neg":"-7","plus":"+8",)"
        R"("huge":"99999999999999999999","num":7.8,"negnum":-7.8,"t":true,"a":[],"n":null})");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->member("spaced")->asInteger(-1), 12);
    EXPECT_EQ(value->member("digits")->asInteger(-1), 42);
    EXPECT_EQ(value->member("none")->asInteger(-1), -1);
    EXPECT_EQ(value->member("empty")->asInteger(-1), -1);
    EXPECT_EQ(value->member("neg")->asInteger(-1), -7);
    EXPECT_EQ(value->member("plus")->asInteger(-1), 8);
    EXPECT_EQ(value->member("huge")->asInteger(-1), -1);
    EXPECT_EQ(value->member("num")->asInteger(-1), 7);
    EXPECT_EQ(value->member("negnum")->asInteger(-1), -7);
    EXPECT_EQ(value->member("t")->asInteger(-1), -1);
    EXPECT_EQ(value->member("a")->asInteger(-1), -1);
    EXPECT_EQ(value->member("n")->asInteger(-1), -1);
}

TEST(JsonReaders, MemberTextUsesTheDefaultForMissingAndIllTypedMembers)
{
    const auto value = parseJsonDocument(R"({"username":"amy","count":5,"list":["x"]})");
    ASSERT_TRUE(value);
    EXPECT_EQ(Velmor::memberText(*value, "username", "Player"), "amy");
    EXPECT_EQ(Velmor::memberText(*value, "count", "Player"), "5");
    EXPECT_EQ(Velmor::memberText(*value, "list", "Player"), "Player");
    EXPECT_EQ(Velmor::memberText(*value, "absent", "Player"), "Player");
    EXPECT_EQ(Velmor::memberText(*value, "absent"), "");
}

TEST(JsonEscaper, EscapesQuotesBackslashesAndControlBytes)
{
    using Velmor::escapeJsonString;
    EXPECT_EQ(escapeJsonString("plain / slash"), "plain / slash");
    EXPECT_EQ(escapeJsonString("say \"hi\" \\ bye"), "say \\\"hi\\\" \\\\ bye");
    EXPECT_EQ(escapeJsonString("\b\f\n\r\t"), "\\b\\f\\n\\r\\t");
    EXPECT_EQ(escapeJsonString("\x1B"), "\\u001B");
    EXPECT_EQ(escapeJsonString(std::string("\x00\x01\x1F", 3)), "\\u0000\\u0001\\u001F");
    EXPECT_EQ(escapeJsonString("\x7F\xC3\xA9\xF0\x9F\x98\x80"), "\x7F\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(escapeJsonString(""), "");
}

TEST(JsonEscaper, EveryByteRoundTripsThroughTheParser)
{
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const auto value = parseJsonDocument("\"" + Velmor::escapeJsonString(all) + "\"");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->stringValue, all);
}

TEST(JsonValueType, CopiesAreDeepAndMovesSteal)
{
    auto original = parseJsonDocument(R"({"users":["a","b"]})");
    ASSERT_TRUE(original);
    JsonValue copy = *original;
    copy.objectMembers["users"].arrayItems.clear();
    EXPECT_EQ(original->member("users")->arrayItems.size(), 2u);

    JsonValue moved = std::move(*original);
    EXPECT_EQ(moved.member("users")->arrayItems.size(), 2u);
    EXPECT_EQ(JsonValue{}.kind, JsonKind::Null);
}

// What a parsed message is charged while it waits for the interface thread:
// every value, string byte, key and member counts, however deep.
TEST(JsonValueType, FootprintCountsEveryValueStringAndMember)
{
    const std::string padding(5000, 'x');
    const auto small = parseJsonDocument(R"({"type":"m","items":[1,[2]]})");
    const auto padded = parseJsonDocument(R"({"type":"m","items":[1,[2]],"pad":")" + padding + "\"}");
    ASSERT_TRUE(small && padded);
    // Six values (the object, "m", the array, 1, the inner array, 2), the
    // string's byte and the two keys.
    EXPECT_GE(Velmor::jsonFootprint(*small), 6 * sizeof(JsonValue) + std::string_view("mtypeitems").size());
    EXPECT_GE(Velmor::jsonFootprint(*padded), Velmor::jsonFootprint(*small) + sizeof(JsonValue) + padding.size());
    std::string wide = "[";
    for (int i = 0; i < 1000; ++i) wide += i ? ",[]" : "[]";
    const auto empties = parseJsonDocument(wide + "]");
    ASSERT_TRUE(empties);
    EXPECT_EQ(Velmor::jsonFootprint(*empties), 1001 * sizeof(JsonValue));
}

}  // namespace
