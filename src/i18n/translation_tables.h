// The translation tables behind `localize`: the fixed pair lists they are
// built from, the tables themselves and the lookup rule over them. The tables
// are built once, on first use (concurrent first callers wait for that build),
// and never change afterwards, so any thread reads them without a lock. Every
// key and text is a view of a string literal and lives as long as the process.
#pragma once

#include <map>
#include <span>
#include <string_view>

namespace Velmor {

struct TextPair {
    std::wstring_view key;
    std::wstring_view text;
};

// A notice whose source text is Arabic only, with its wording in the other
// three languages.
struct NoticeWording {
    std::wstring_view arabic;
    std::wstring_view english;
    std::wstring_view french;
    std::wstring_view spanish;
};

using TranslationTable = std::map<std::wstring_view, std::wstring_view>;

struct TranslationTables {
    TranslationTable arabicToEnglish;
    TranslationTable englishToArabic;
    TranslationTable englishToFrench;
    TranslationTable englishToSpanish;
    // Consulted only after the four tables above found nothing.
    std::map<std::wstring_view, const NoticeWording*> notices;
};

// The fixed pair lists, in the order they are applied.
std::span<const TextPair> arabicToEnglishPairs();   // a repeated key keeps its first pair
std::span<const TextPair> englishToArabicPairs();   // applied over the reversed arabicToEnglish; later pairs replace
std::span<const TextPair> englishToFrenchPairs();   // a repeated key keeps its first pair
std::span<const TextPair> englishToSpanishPairs();
std::span<const NoticeWording> noticeWordings();

const TranslationTables& translationTables();

// The text to show for `text` in `language` (0 English, 1 Arabic, 2 French,
// 3 Spanish; any other value counts as English). The result views either a
// table text or `text` itself, so it lives only as long as `text` does.
std::wstring_view translate(std::wstring_view text, int language);

}  // namespace Velmor
