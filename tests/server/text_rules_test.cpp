// Names, texts and query strings as the server reads them: UTF-8 edge cases,
// the 64-character limit counted as the client counts it, percent-decoding.
#include "text_rules.h"
#include "upgrade_request.h"

#include <gtest/gtest.h>

#include <string>

using namespace VelmorServer;

namespace {

std::string repeat(const std::string& piece, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

TEST(TextRules, Utf8IsStrictAndCountedInUtf16Units)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::optional<std::size_t> units;
    };
    const Case cases[] = {
        {"ASCII", "abc", 3},
        {"two-byte", "Zo\xC3\xAB", 3},
        {"three-byte", "\xE2\x82\xAC", 1},
        {"four-byte counts two", "\xF0\x9F\x98\x80", 2},
        {"empty", "", 0},
        {"overlong slash", "\xC0\xAF", std::nullopt},
        {"overlong three-byte", "\xE0\x80\xAF", std::nullopt},
        {"encoded surrogate", "\xED\xA0\x80", std::nullopt},
        {"above U+10FFFF", "\xF4\x90\x80\x80", std::nullopt},
        {"truncated", "\xE2\x82", std::nullopt},
        {"stray continuation", "a\x80", std::nullopt},
        {"invalid lead", "\xFF", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf16Length(c.bytes), c.units) << c.name;
        EXPECT_EQ(isValidUtf8(c.bytes), c.units.has_value()) << c.name;
    }
}

TEST(TextRules, NamesAreBoundedTrimmedAndFreeOfControls)
{
    EXPECT_EQ(nameProblem("amy", "user name"), "");
    EXPECT_EQ(nameProblem("Zo\xC3\xAB K", "user name"), "");
    EXPECT_EQ(nameProblem(std::string(64, 'a'), "user name"), "");
    EXPECT_EQ(nameProblem(repeat("\xC3\xAB", 64), "user name"), "");  // 128 bytes, 64 units
    EXPECT_EQ(nameProblem(repeat("\xF0\x9F\x98\x80", 32), "user name"), "");

    EXPECT_EQ(nameProblem("", "user name"), "The user name is empty.");
    EXPECT_EQ(nameProblem(std::string(65, 'a'), "room name"), "The room name is longer than 64 characters.");
    EXPECT_NE(nameProblem(repeat("\xF0\x9F\x98\x80", 33), "user name"), "");  // 66 units
    // Inside a name, what the client's name box lets through is accepted
    // (a refused name would have the client retry with it for ever) ...
    for (const char* inner : {"a\tb", "a\xC2\x85" "b", "a\xC2\x9B" "b", "a\xE2\x80\xA8" "b", "a\xE2\x80\xA9" "b"})
        EXPECT_EQ(nameProblem(inner, "user name"), "") << inner;
    // ... but not the C0 controls that end strings, break lines or start
    // terminal escapes, nor DEL.
    for (const std::string& control : {std::string("a\0b", 3), std::string("a\nb"), std::string("a\rb"),
                                       std::string("a\x1B[2Jb"), std::string("a\x7F" "b")})
        EXPECT_EQ(nameProblem(control, "user name"), "The user name contains control characters.") << control;
    for (const char* edge : {" amy", "amy ", "\tamy", "amy\xC2\x85", "\xE2\x80\xA8" "amy", "\xC2\xA0" "amy",
                             "amy\xE2\x80\x8B", "\xEF\xBB\xBF" "amy", "\xE3\x80\x80"})
        EXPECT_EQ(nameProblem(edge, "user name"), "The user name begins or ends with white space.") << edge;
    EXPECT_NE(nameProblem("\xFF", "user name"), "");
    EXPECT_EQ(gameProblem(""), "");
}

TEST(TextRules, MessageTextsAreBoundedAndSingleLine)
{
    EXPECT_EQ(textProblem("hello\tthere"), "");
    EXPECT_EQ(textProblem(std::string(10000, 'x')), "");
    EXPECT_NE(textProblem(std::string(10001, 'x')), "");
    EXPECT_NE(textProblem(" \t "), "");
    for (const char* control : {"two\nlines", "del\x7F", "nel\xC2\x85" "x", "csi\xC2\x9B" "x", "ls\xE2\x80\xA8" "x",
                                "ps\xE2\x80\xA9" "x"})
        EXPECT_EQ(textProblem(control), "The message contains control characters.") << control;
    EXPECT_EQ(textProblem("Zo\xC3\xAB \xE2\x80\xA6"), "");  // U+2026 sits beside U+2028 and is fine
    EXPECT_EQ(shortened(repeat("\xC3\xAB", 5), 3), "\xC3\xAB\xC3\xAB\xC3\xAB...");  // cut on a character boundary
    EXPECT_EQ(shortened("abc", 3), "abc");
}

TEST(TextRules, LogLinesCarryNoControls)
{
    EXPECT_EQ(logSafe("amy connected"), "amy connected");
    EXPECT_EQ(logSafe("Zo\xC3\xAB\xE2\x80\xA6 \xF0\x9F\x98\x80"), "Zo\xC3\xAB\xE2\x80\xA6 \xF0\x9F\x98\x80");
    EXPECT_EQ(logSafe("a\tb\x1B[2J\x7F"), "a?b?[2J?");
    EXPECT_EQ(logSafe("a\xC2\x9B" "1m\xC2\x85" "b\xC2\xA0"), "a?1m?b\xC2\xA0");  // C1 controls, not U+00A0
    EXPECT_EQ(logSafe("x\xE2\x80\xA8y\xE2\x80\xA9z"), "x?y?z");
    EXPECT_EQ(logSafe("cut\xC2"), "cut\xC2");  // a broken sequence is no control
}

TEST(TextRules, QueriesArePercentDecoded)
{
    EXPECT_EQ(percentDecode("Zo%C3%ab%20K"), "Zo\xC3\xAB K");
    EXPECT_EQ(percentDecode("a+b"), "a+b");
    EXPECT_EQ(percentDecode("%"), std::nullopt);
    EXPECT_EQ(percentDecode("%4"), std::nullopt);
    EXPECT_EQ(percentDecode("%G1"), std::nullopt);

    const auto query = parseQuery("user=a%26b&&flag&x=1=2");
    ASSERT_TRUE(query);
    ASSERT_EQ(query->size(), 3u);
    EXPECT_EQ((*query)[0].name, "user");
    EXPECT_EQ((*query)[0].value, "a&b");
    EXPECT_EQ((*query)[1].name, "flag");
    EXPECT_EQ((*query)[1].value, "");
    EXPECT_EQ((*query)[2].value, "1=2");
    EXPECT_FALSE(parseQuery("user=%ZZ"));
}

TEST(TextRules, UpgradeDecisionChecksPathMethodUpgradeAndUserInThatOrder)
{
    EXPECT_EQ(decideUpgrade(true, true, "/websocket?user=amy").status, 0u);
    EXPECT_EQ(decideUpgrade(true, true, "/websocket?user=amy").user, "amy");
    EXPECT_EQ(decideUpgrade(false, false, "/elsewhere").status, 404u);
    EXPECT_EQ(decideUpgrade(false, true, "/websocket?user=amy").status, 405u);
    EXPECT_EQ(decideUpgrade(true, false, "/websocket?user=amy").status, 426u);
    EXPECT_EQ(decideUpgrade(true, true, "/websocket?user=amy&user=amy").status, 400u);
    EXPECT_EQ(decideUpgrade(true, true, "/websocket?other=1&user=%C3%AB").user, "\xC3\xAB");
}

}  // namespace
