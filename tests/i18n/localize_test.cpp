// The translation tables against the interface's list of English texts, and
// the lookup in each interface language.
#include "i18n/english_texts.h"
#include "i18n/localize.h"
#include "i18n/notices.h"
#include "i18n/translation_tables.h"
#include "session/client_state.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace Velmor;

// Selects an interface language for one test and restores English afterwards.
class LanguageScope {
public:
    explicit LanguageScope(int language) { clientState().uiLanguage = language; }
    ~LanguageScope() { clientState().uiLanguage = uiLanguageEnglish; }
    LanguageScope(const LanguageScope&) = delete;
    LanguageScope& operator=(const LanguageScope&) = delete;
};

std::string narrow(std::wstring_view text)
{
    std::string out;
    for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

std::optional<std::wstring_view> entry(const TranslationTable& table, std::wstring_view key)
{
    const auto found = table.find(key);
    if (found == table.end()) return std::nullopt;
    return found->second;
}

std::size_t pairCount(std::span<const TextPair> pairs, std::wstring_view key)
{
    return static_cast<std::size_t>(
        std::count_if(pairs.begin(), pairs.end(), [&](const TextPair& pair) { return pair.key == key; }));
}

TEST(TranslationTables, PairListsBuildTablesOfTheStatedSizes)
{
    EXPECT_EQ(arabicToEnglishPairs().size(), 89u);
    EXPECT_EQ(englishToArabicPairs().size(), 97u);
    EXPECT_EQ(englishToFrenchPairs().size(), 88u);
    EXPECT_EQ(englishToSpanishPairs().size(), 74u);

    const TranslationTables& tables = translationTables();
    EXPECT_EQ(tables.arabicToEnglish.size(), 88u);
    EXPECT_EQ(tables.englishToArabic.size(), 169u);
    EXPECT_EQ(tables.englishToFrench.size(), 87u);
    EXPECT_EQ(tables.englishToSpanish.size(), 74u);
}

TEST(TranslationTables, EveryEnglishTextHasExactlyItsListedLanguages)
{
    const TranslationTables& tables = translationTables();
    std::set<std::wstring_view> listed;
    for (const VelmorTest::EnglishTextGroup& group : VelmorTest::englishTextGroups()) {
        for (std::wstring_view text : group.texts) {
            EXPECT_TRUE(listed.insert(text).second) << "listed twice: " << narrow(text);
            EXPECT_EQ(tables.englishToArabic.contains(text), group.arabic) << group.name << ": " << narrow(text);
            EXPECT_EQ(tables.englishToFrench.contains(text), group.french) << group.name << ": " << narrow(text);
            EXPECT_EQ(tables.englishToSpanish.contains(text), group.spanish) << group.name << ": " << narrow(text);
        }
    }
    EXPECT_EQ(listed.size(), 176u);

    // Nothing outside the list: every English key and every English text the
    // Arabic source texts name.
    for (const TranslationTable* table : {&tables.englishToArabic, &tables.englishToFrench, &tables.englishToSpanish}) {
        for (const auto& [english, translated] : *table) EXPECT_TRUE(listed.contains(english)) << narrow(english);
    }
    for (const auto& [arabic, english] : tables.arabicToEnglish) EXPECT_TRUE(listed.contains(english)) << narrow(english);
}

TEST(TranslationTables, ArabicSourceTextsNameTheArabicOnlyTextsAndSevenOthers)
{
    const std::set<std::wstring_view> withoutArabicSource = {
        L"Block on the server? They will not be able to send you direct messages, and room messages from them will "
        L"be hidden from you.",
        L"Copy the current diagnostic view to the clipboard.",
        L"Diagnostic log cleared",
        L"English is the default. Language changes apply to core navigation, controls, and common dialogs.",
        L"LIVE DIAGNOSTICS · NETWORK, PRESENCE AND UI EVENTS",
        L"Studio workspace · connected services and diagnostics",
        L"Unblock on server? They will be able to send you direct messages again.",
    };
    std::set<std::wstring_view> expected = {L"Chat", L"Create room", L"Friends", L"Join room",
                                            L"Please enter your name to connect.", L"Send", L"Unblock on server"};
    for (const VelmorTest::EnglishTextGroup& group : VelmorTest::englishTextGroups()) {
        if (group.arabic && !group.french && !group.spanish) {
            for (std::wstring_view text : group.texts) {
                if (!withoutArabicSource.contains(text)) expected.insert(text);
            }
        }
    }
    ASSERT_EQ(expected.size(), 88u);

    std::set<std::wstring_view> named;
    for (const auto& [arabic, english] : translationTables().arabicToEnglish) {
        EXPECT_TRUE(named.insert(english).second) << "two Arabic texts name " << narrow(english);
    }
    EXPECT_EQ(named, expected);
}

TEST(TranslationTables, RepeatedKeysKeepTheFirstPairUnlessLaterPairsReplace)
{
    const TranslationTables& tables = translationTables();

    EXPECT_EQ(pairCount(arabicToEnglishPairs(), L"حظر على الخادم"), 2u);
    EXPECT_EQ(entry(tables.arabicToEnglish, L"حظر على الخادم"), L"Server block");

    EXPECT_EQ(entry(tables.arabicToEnglish, L"الانضمام إلى غرفة"), L"Join room");
    EXPECT_EQ(entry(tables.englishToArabic, L"Join room"), L"انضمام للغرفة");

    EXPECT_EQ(pairCount(englishToFrenchPairs(), L"Transfer room host"), 2u);
    EXPECT_EQ(entry(tables.englishToFrench, L"Transfer room host"), L"Transférer l’hôte");

    // Reversed entries that no later pair touches keep their Arabic key.
    EXPECT_EQ(entry(tables.englishToArabic, L"Username updated"), L"تم تحديث اسم المستخدم");
    EXPECT_EQ(entry(tables.englishToArabic, L"Server block"), L"حظر على الخادم");
}

struct TellingRow {
    const wchar_t* english;
    const wchar_t* arabic;  // null: no entry
    const wchar_t* french;
    const wchar_t* spanish;
};

TEST(Localize, TellingRowsInAllFourLanguages)
{
    const TellingRow rows[] = {
        {L"Send", L"إرسال", L"Envoyer", L"Enviar"},
        {L"Username", L"اسم المستخدم", L"Nom d’utilisateur", L"Usuario"},
        {L"Join room", L"انضمام للغرفة", L"Rejoindre", L"Unirse"},
        {L"Please enter your name to connect.", L"أدخل اسمك أولاً للاتصال.",
         L"Veuillez saisir votre nom pour vous connecter.", L"Introduce tu nombre para conectarte."},
        {L"Offline · waiting for login", L"غير متصل · بانتظار تسجيل الدخول", L"Hors ligne · en attente de connexion",
         L"Desconectado · esperando inicio de sesión"},
        {L"Connected · live sync active", L"متصل · المزامنة المباشرة نشطة", L"Connecté · synchronisation active",
         L"Conectado · sincronización activa"},
        {L"Connect / Update identity", L"اتصال / تحديث الهوية", L"Connexion / Mettre à jour l’identité", nullptr},
        {L"Recent activity", L"النشاط الأخير", nullptr, L"Actividad reciente"},
        {L"Transfer room host", nullptr, L"Transférer l’hôte", L"Transferir anfitrión"},
        {L"Username updated", L"تم تحديث اسم المستخدم", nullptr, nullptr},
        {L"Remove ", nullptr, L"Retirer ", L"Quitar a "},
    };
    const TranslationTables& tables = translationTables();
    for (const TellingRow& row : rows) {
        SCOPED_TRACE(narrow(row.english));
        EXPECT_EQ(tables.englishToArabic.contains(row.english), row.arabic != nullptr);
        EXPECT_EQ(tables.englishToFrench.contains(row.english), row.french != nullptr);
        EXPECT_EQ(tables.englishToSpanish.contains(row.english), row.spanish != nullptr);
        {
            LanguageScope english(uiLanguageEnglish);
            EXPECT_EQ(localize(row.english), row.english);
        }
        {
            LanguageScope arabic(uiLanguageArabic);
            EXPECT_EQ(localize(row.english), row.arabic ? row.arabic : row.english);
        }
        {
            LanguageScope french(uiLanguageFrench);
            EXPECT_EQ(localize(row.english), row.french ? row.french : row.english);
        }
        {
            LanguageScope spanish(uiLanguageSpanish);
            EXPECT_EQ(localize(row.english), row.spanish ? row.spanish : row.english);
        }
    }
}

TEST(Localize, MissesFallBackToTheEnglishWhenKnownElseToTheText)
{
    const std::wstring unknown = L"Unblock this user on the server before messaging them.";
    {
        LanguageScope english(uiLanguageEnglish);
        EXPECT_EQ(localize(L"Send"), L"Send");
        EXPECT_EQ(localize(L"إرسال"), L"Send");
        EXPECT_EQ(localize(L"حظر على الخادم"), L"Server block");
        EXPECT_EQ(localize(unknown), unknown);
    }
    {
        LanguageScope arabic(uiLanguageArabic);
        EXPECT_EQ(localize(L"Transfer room host"), L"Transfer room host");
        EXPECT_EQ(localize(L"تم تحديث اسم المستخدم"), L"تم تحديث اسم المستخدم");
        EXPECT_EQ(localize(unknown), unknown);
    }
    {
        LanguageScope french(uiLanguageFrench);
        EXPECT_EQ(localize(L"Username updated"), L"Username updated");
        EXPECT_EQ(localize(L"تم تحديث اسم المستخدم"), L"Username updated");
        EXPECT_EQ(localize(L"إرسال"), L"Envoyer");  // Arabic source, English known, French entry exists
        EXPECT_EQ(localize(unknown), unknown);
    }
    {
        LanguageScope spanish(uiLanguageSpanish);
        EXPECT_EQ(localize(L"Connect / Update identity"), L"Connect / Update identity");
        EXPECT_EQ(localize(L"الانضمام إلى غرفة"), L"Unirse");
        EXPECT_EQ(localize(L"اسم المستخدم طويل جدًا. الحد الأقصى للطول 64 حرفًا."),
                  L"Username is too long. The maximum length is 64 characters.");
    }
    for (int language : {7, 4, -1}) {
        LanguageScope outOfRange(language);
        EXPECT_EQ(localize(L"إرسال"), L"Send") << language;
        EXPECT_EQ(localize(L"Send"), L"Send") << language;
    }
}

TEST(Localize, NoTextGivesTheEmptyText)
{
    for (int language : {0, 1, 2, 3}) {
        LanguageScope scope(language);
        EXPECT_EQ(localize(static_cast<const wchar_t*>(nullptr)), L"");
        EXPECT_EQ(localize(std::wstring_view()), L"");
        EXPECT_EQ(localize(L""), L"");
    }
}

TEST(Localize, ArabicOnlyNoticesReadInEveryLanguage)
{
    const wchar_t* const exported[] = {
        kNoticeSecureConnectionFailed,   kNoticeOutdatedServer, kNoticeNowRoomHost,
        kMenuTransferHostToPlayer,       kMenuKickFromRoom,     kMenuHostOnlyCurrentHost,
        kMenuHostOnly,                   kNoticeUnconfirmedRequestPrefix,
        kNoticeUnconfirmedRequestSuffix,
    };
    const TranslationTables& tables = translationTables();
    ASSERT_EQ(noticeWordings().size(), std::size(exported));
    for (const wchar_t* notice : exported) {
        const auto wording = std::find_if(noticeWordings().begin(), noticeWordings().end(),
                                          [&](const NoticeWording& w) { return w.arabic == notice; });
        ASSERT_NE(wording, noticeWordings().end());
        EXPECT_FALSE(tables.arabicToEnglish.contains(notice));
        EXPECT_FALSE(tables.englishToArabic.contains(notice));

        LanguageScope english(uiLanguageEnglish);
        EXPECT_EQ(localize(notice), wording->english);
        clientState().uiLanguage = uiLanguageArabic;
        EXPECT_EQ(localize(notice), notice);
        clientState().uiLanguage = uiLanguageFrench;
        EXPECT_EQ(localize(notice), wording->french);
        clientState().uiLanguage = uiLanguageSpanish;
        EXPECT_EQ(localize(notice), wording->spanish);
    }

    LanguageScope english(uiLanguageEnglish);
    EXPECT_EQ(localize(kMenuHostOnly), L"(Host only)");
    EXPECT_EQ(localize(kMenuKickFromRoom), L"Kick from room");
    clientState().uiLanguage = uiLanguageFrench;
    EXPECT_EQ(localize(kMenuTransferHostToPlayer), localize(L"Transfer host to this player"));
}

// What a translation must keep of its English text: the spaces that join
// fragments, line breaks, tabs, the separators and the numbers.
void expectSameShape(std::wstring_view english, std::wstring_view translated)
{
    SCOPED_TRACE(narrow(english));
    const auto leadingSpaces = [](std::wstring_view text) { return text.find_first_not_of(L' '); };
    const auto trailingSpaces = [](std::wstring_view text) {
        const std::size_t last = text.find_last_not_of(L' ');
        return last == std::wstring_view::npos ? text.size() : text.size() - 1 - last;
    };
    const auto count = [](std::wstring_view text, wchar_t c) { return std::count(text.begin(), text.end(), c); };
    const auto numbers = [](std::wstring_view text) {
        std::multiset<std::wstring> found;
        for (std::size_t i = 0; i < text.size();) {
            if (text[i] < L'0' || text[i] > L'9') {
                ++i;
                continue;
            }
            const std::size_t start = i;
            while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') ++i;
            found.emplace(text.substr(start, i - start));
        }
        return found;
    };
    const auto endsWith = [](std::wstring_view text, std::wstring_view end) { return text.ends_with(end); };

    EXPECT_FALSE(translated.empty());
    EXPECT_EQ(leadingSpaces(translated), leadingSpaces(english));
    EXPECT_EQ(trailingSpaces(translated), trailingSpaces(english));
    for (wchar_t c : {L'\n', L'\t', L'·', L'•', L'—'}) EXPECT_EQ(count(translated, c), count(english, c)) << int(c);
    EXPECT_EQ(numbers(translated), numbers(english));
    for (std::wstring_view end : {L": ", L"...", L"…"}) {
        EXPECT_EQ(endsWith(translated, end), endsWith(english, end)) << narrow(end);
    }
}

TEST(Translations, KeepTheShapeOfTheirEnglishText)
{
    const TranslationTables& tables = translationTables();
    for (const TranslationTable* table : {&tables.englishToArabic, &tables.englishToFrench, &tables.englishToSpanish}) {
        for (const auto& [english, translated] : *table) expectSameShape(english, translated);
    }
    for (const auto& [arabic, english] : tables.arabicToEnglish) expectSameShape(english, arabic);
    for (const NoticeWording& notice : noticeWordings()) {
        expectSameShape(notice.english, notice.arabic);
        expectSameShape(notice.english, notice.french);
        expectSameShape(notice.english, notice.spanish);
    }
}

TEST(OnlineCountText, ReplacesTheZeroOfTheLocalisedLabel)
{
    {
        LanguageScope english(uiLanguageEnglish);
        EXPECT_EQ(onlineCountText(0), L"ONLINE NOW  ·  0");
        EXPECT_EQ(onlineCountText(1207), L"ONLINE NOW  ·  1207");
    }
    {
        LanguageScope arabic(uiLanguageArabic);
        EXPECT_EQ(onlineCountText(42), L"المتصلون الآن  ·  42");
    }
    {
        LanguageScope french(uiLanguageFrench);
        EXPECT_EQ(onlineCountText(100), L"EN LIGNE  ·  100");
    }
    {
        LanguageScope spanish(uiLanguageSpanish);  // no Spanish entry: the English label
        EXPECT_EQ(onlineCountText(7), L"ONLINE NOW  ·  7");
    }
}

}  // namespace
