// Builds the translation tables from their pair lists and applies the lookup
// rule of the interface languages over them.
#include "i18n/translation_tables.h"

#include "i18n/localize.h"

#include <optional>

namespace Velmor {
namespace {

TranslationTables buildTables()
{
    TranslationTables tables;
    for (const TextPair& pair : arabicToEnglishPairs()) tables.arabicToEnglish.try_emplace(pair.key, pair.text);
    for (const auto& [arabic, english] : tables.arabicToEnglish) tables.englishToArabic.insert_or_assign(english, arabic);
    for (const TextPair& pair : englishToArabicPairs()) tables.englishToArabic.insert_or_assign(pair.key, pair.text);
    for (const TextPair& pair : englishToFrenchPairs()) tables.englishToFrench.try_emplace(pair.key, pair.text);
    for (const TextPair& pair : englishToSpanishPairs()) tables.englishToSpanish.try_emplace(pair.key, pair.text);
    for (const NoticeWording& notice : noticeWordings()) tables.notices.try_emplace(notice.arabic, &notice);
    return tables;
}

std::optional<std::wstring_view> find(const TranslationTable& table, std::wstring_view key)
{
    const auto found = table.find(key);
    if (found == table.end()) return std::nullopt;
    return found->second;
}

// The last resort before the text itself: the wording of an Arabic-only notice.
std::wstring_view noticeOr(const TranslationTables& tables, std::wstring_view text, int language)
{
    const auto found = tables.notices.find(text);
    if (found == tables.notices.end()) return text;
    const NoticeWording& notice = *found->second;
    switch (language) {
    case uiLanguageFrench: return notice.french;
    case uiLanguageSpanish: return notice.spanish;
    default: return notice.english;
    }
}

}  // namespace

const TranslationTables& translationTables()
{
    // A function-local static: concurrent first callers wait for the one build.
    static const TranslationTables tables = buildTables();
    return tables;
}

std::wstring_view translate(std::wstring_view text, int language)
{
    const TranslationTables& tables = translationTables();
    // An Arabic-only notice is its own Arabic text, so Arabic needs no notice step.
    if (language == uiLanguageArabic) return find(tables.englishToArabic, text).value_or(text);
    const std::optional<std::wstring_view> english = find(tables.arabicToEnglish, text);
    if (language == uiLanguageFrench || language == uiLanguageSpanish) {
        const TranslationTable& table = language == uiLanguageFrench ? tables.englishToFrench : tables.englishToSpanish;
        if (const auto translated = find(table, english.value_or(text))) return *translated;
    }
    if (english) return *english;
    return noticeOr(tables, text, language);
}

}  // namespace Velmor
