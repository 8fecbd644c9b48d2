// The workspace's display text against the Unicode Character Database read
// at test time: reordering against BidiCharacterTest.txt, shaping against
// the joining types of ArabicShaping.txt and the presentation forms of
// UnicodeData.txt; then whole lines as the workspace shows them, and the cache.
#include "text/arabic_shaping.h"
#include "text/bidi.h"
#include "text/display_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace Velmor {
namespace {

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> fields;
    std::stringstream stream(text);
    for (std::string field; std::getline(stream, field, separator);) fields.push_back(field);
    if (!text.empty() && text.back() == separator) fields.emplace_back();
    return fields;
}

std::vector<std::string> words(const std::string& text)
{
    std::vector<std::string> out;
    std::stringstream stream(text);
    for (std::string word; stream >> word;) out.push_back(word);
    return out;
}

// Data lines of a UCD file, comments and blank lines left out; fails the test
// when the file is missing (the package unicode-data is then not installed).
std::vector<std::string> ucdLines(const std::string& name)
{
    std::ifstream file(std::string(VELMOR_UNICODE_DATA_DIR) + "/" + name);
    EXPECT_TRUE(file.good()) << name << " not found in " << VELMOR_UNICODE_DATA_DIR << ": run scripts/setup";
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty() && line[0] != '#') lines.push_back(line);
    }
    return lines;
}

TEST(DisplayText, ReordersLikeBidiCharacterTest)
{
    std::size_t run = 0;
    std::size_t rightToLeftScripts = 0;
    std::vector<std::string> failures;
    for (const std::string& line : ucdLines("BidiCharacterTest.txt")) {
        const std::vector<std::string> fields = split(line, ';');
        ASSERT_EQ(fields.size(), 5u) << line;
        std::u32string text;
        bool hebrewOrArabic = false;
        for (const std::string& code : words(fields[0])) {
            text.push_back(static_cast<char32_t>(std::stoul(code, nullptr, 16)));
            hebrewOrArabic = hebrewOrArabic || (text.back() >= 0x0590 && text.back() <= 0x06FF);
        }
        static const ParagraphDirection kDirections[] = {ParagraphDirection::leftToRight,
                                                          ParagraphDirection::rightToLeft,
                                                          ParagraphDirection::automatic};
        const BidiLevels resolved = resolveBidiLevels(text, kDirections[std::stoi(fields[1])]);
        std::string levels;
        for (const int level : resolved.levels) {
            levels += (levels.empty() ? "" : " ") + (level == kRemovedLevel ? std::string("x") : std::to_string(level));
        }
        std::string order;
        for (const std::size_t index : visualOrder(resolved)) order += (order.empty() ? "" : " ") + std::to_string(index);
        ++run;
        rightToLeftScripts += hebrewOrArabic;
        if (std::to_string(resolved.paragraphLevel) != fields[2] || levels != fields[3] || order != fields[4]) {
            if (failures.size() < 20) failures.push_back(line + "\n   got " + levels + ";" + order);
        }
    }
    // Every line of the file: Arabic, Hebrew, Latin, digits, neutrals,
    // brackets, explicit embeddings, overrides and isolates.
    EXPECT_GT(run, 90000u);
    EXPECT_GT(rightToLeftScripts, 30000u);
    for (const std::string& failure : failures) ADD_FAILURE() << failure;
    std::printf("BidiCharacterTest.txt: %zu lines run (%zu with Hebrew or Arabic), %zu failed\n", run,
                rightToLeftScripts, failures.size());
}

TEST(DisplayText, ShapesEveryArabicLetterAsTheDataSays)
{
    // Presentation forms by base letter and form, from UnicodeData.txt.
    std::map<std::pair<char32_t, std::string>, std::set<char32_t>> forms;
    std::map<std::string, char32_t> ligatures;  // "<isolated> 0644 0627" -> U+FEFB
    for (const std::string& line : ucdLines("UnicodeData.txt")) {
        const std::vector<std::string> fields = split(line, ';');
        const char32_t code = static_cast<char32_t>(std::stoul(fields[0], nullptr, 16));
        const std::vector<std::string> decomposition = words(fields[5]);
        if (code < 0xFB50 || code > 0xFEFF || decomposition.size() < 2 || decomposition[0][0] != '<') continue;
        if (decomposition.size() == 2) {
            forms[{static_cast<char32_t>(std::stoul(decomposition[1], nullptr, 16)), decomposition[0]}].insert(code);
        } else {
            ligatures[fields[5]] = code;
        }
    }
    const char32_t tatweel = 0x0640;  // join-causing
    const char32_t fatha = 0x064E;    // transparent
    std::size_t dual = 0;
    std::size_t right = 0;
    for (const std::string& line : ucdLines("ArabicShaping.txt")) {
        const std::vector<std::string> fields = split(line, ';');
        const char32_t letter = static_cast<char32_t>(std::stoul(fields[0], nullptr, 16));
        const std::string type = words(fields[2])[0];
        if (type != "D" && type != "R") continue;
        const bool allForms = forms.count({letter, "<isolated>"}) && forms.count({letter, "<final>"}) &&
                              (type == "R" || (forms.count({letter, "<initial>"}) && forms.count({letter, "<medial>"})));
        if (!allForms) continue;
        struct Case {
            std::u32string text;
            std::size_t at;
            const char* form;
        };
        std::vector<Case> cases = {{{letter}, 0, "<isolated>"}, {{tatweel, letter}, 1, "<final>"},
                                   {{tatweel, fatha, letter, fatha}, 2, "<final>"}};
        if (type == "D") {
            cases.push_back({{letter, tatweel}, 0, "<initial>"});
            cases.push_back({{tatweel, letter, tatweel}, 1, "<medial>"});
            // A transparent mark between letters keeps the join.
            cases.push_back({{tatweel, fatha, letter, fatha, fatha, tatweel}, 2, "<medial>"});
            cases.push_back({{letter, 0x0020, tatweel}, 0, "<isolated>"});
        }
        for (const Case& c : cases) {
            const std::u32string shaped = shapeArabic(c.text);
            ASSERT_EQ(shaped.size(), c.text.size());
            const std::set<char32_t>& expected = forms[{letter, c.form}];
            EXPECT_TRUE(expected.count(shaped[c.at]))
                << std::hex << "U+" << static_cast<unsigned>(letter) << " " << c.form << " came out U+"
                << static_cast<unsigned>(shaped[c.at]);
            for (std::size_t i = 0; i < c.text.size(); ++i) {
                if (i != c.at) {
                    EXPECT_EQ(shaped[i], c.text[i]);
                }
            }
        }
        (type == "D" ? dual : right) += 1;
    }
    EXPECT_GT(dual, 25u);
    EXPECT_GT(right, 10u);

    // Lam-alef: isolated after a non-joining letter, final after a joining one.
    for (const char32_t alef : {0x0622, 0x0623, 0x0625, 0x0627}) {
        const std::string code = [&] {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, "%04X", static_cast<unsigned>(alef));
            return std::string(buffer);
        }();
        EXPECT_EQ(shapeArabic(std::u32string{0x0644, alef}), std::u32string{ligatures.at("<isolated> 0644 " + code)});
        const std::u32string afterBeh = shapeArabic(std::u32string{0x0628, 0x0644, alef, 0x0628});
        EXPECT_EQ(afterBeh, (std::u32string{*forms[{0x0628, "<initial>"}].begin(), ligatures.at("<final> 0644 " + code),
                                            *forms[{0x0628, "<isolated>"}].rbegin()}));
    }
}

TEST(DisplayText, LinesComeOutInDisplayOrder)
{
    struct Case {
        std::u32string logical;
        std::u32string shown;
        bool rightToLeft;
    };
    const Case cases[] = {
        // Latin and digits stay as they are.
        {U"Bob 2 (x)", U"Bob 2 (x)", false},
        // Hebrew: right to left, the number kept left to right, brackets mirrored.
        {U"\u05E9\u05DC\u05D5\u05DD (123)", U"(123) \u05DD\u05D5\u05DC\u05E9", true},
        // Arabic joined (heh initial, lam-alef final) and a Latin run after it.
        {U"\u0623\u0647\u0644\u0627 Bob 2", U"Bob 2 \uFEFC\uFEEB\uFE83", true},
        // A bracketed Arabic word then Latin: the brackets follow the Arabic.
        {U"(\u0645\u0631\u062D\u0628\u0627) [abc]", U"[abc] (\uFE8E\uFE92\uFEA3\uFEAE\uFEE3)", true},
        // A Latin paragraph with an Arabic name in it.
        {U"hi \u0639\u0644\u064A!", U"hi \uFEF2\uFEE0\uFECB!", false},
        // Each line has its own direction; line ends stay in place.
        {U"a\u05D0b\r\n\u05D0 1\nx", U"a\u05D0b\r\n1 \u05D0\nx", false},
        // Emoji are neutral: they take the direction around them.
        {U"\U0001F600 \u05D0\u05D1", U"\u05D1\u05D0 \U0001F600", true},
    };
    for (const Case& c : cases) {
        bool rightToLeft = !c.rightToLeft;
        const std::u32string shown = displayOrder(c.logical, &rightToLeft);
        EXPECT_EQ(shown, c.shown) << "case " << (&c - cases);
        EXPECT_EQ(rightToLeft, c.rightToLeft) << "case " << (&c - cases);
    }
}

TEST(DisplayText, Utf8FormsAreCachedAndBounded)
{
    // ASCII comes back itself; so does a non-ASCII text that needs no change.
    const std::string latin = "Player 7 (host)";
    EXPECT_EQ(displayText(latin).data(), latin.data());
    const std::string accented = "Zo\xC3\xAB \xF0\x9F\x98\x80";
    EXPECT_EQ(displayText(accented).data(), accented.data());

    const std::string arabic = "\xD8\xA3\xD9\x87\xD9\x84\xD8\xA7 Bob 2";  // "أهلا Bob 2"
    bool rightToLeft = false;
    const std::string shown(displayText(arabic, &rightToLeft));
    EXPECT_TRUE(rightToLeft);
    EXPECT_EQ(shown, "Bob 2 \xEF\xBB\xBC\xEF\xBB\xAB\xEF\xBA\x83");
    const std::size_t entries = displayCacheSize();
    EXPECT_EQ(displayText(arabic).data(), displayText(arabic).data());
    EXPECT_EQ(displayCacheSize(), entries);

    // Invalid UTF-8 becomes U+FFFD and is still converted.
    EXPECT_EQ(displayText("\xD7\x90\xFF"), "\xEF\xBF\xBD\xD7\x90");

    // Past its bound the cache starts again instead of growing.
    for (std::size_t i = 0; i <= kDisplayCacheEntries; ++i) displayText("\xD7\x90 " + std::to_string(i));
    EXPECT_LE(displayCacheSize(), kDisplayCacheEntries);
    EXPECT_GT(displayCacheSize(), 0u);
}

}  // namespace
}  // namespace Velmor
