// The first lookups of the process, made by several threads at once: each
// must wait for the one build of the tables and then see it complete. This
// program holds no other test, so its lookups really are the first.
#include "i18n/localize.h"
#include "i18n/translation_tables.h"
#include "session/client_state.h"

#include <gtest/gtest.h>

#include <latch>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace Velmor;

TEST(LocalizeFirstUse, ConcurrentFirstCallersSeeTheWholeTables)
{
    constexpr int kThreads = 8;
    clientState().uiLanguage = uiLanguageFrench;

    std::latch start(kThreads);
    std::vector<std::wstring> sent(kThreads);
    std::vector<std::wstring> fromArabic(kThreads);
    std::vector<const TranslationTables*> tables(kThreads);
    std::vector<std::size_t> arabicEntries(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            sent[i] = localize(L"Send");
            fromArabic[i] = localize(L"تم تحديث اسم المستخدم");
            tables[i] = &translationTables();
            arabicEntries[i] = tables[i]->englishToArabic.size();
        });
    }
    for (std::thread& thread : threads) thread.join();

    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(sent[i], L"Envoyer") << i;
        EXPECT_EQ(fromArabic[i], L"Username updated") << i;
        EXPECT_EQ(tables[i], tables[0]) << i;
        EXPECT_EQ(arabicEntries[i], 169u) << i;
    }
    clientState().uiLanguage = uiLanguageEnglish;
}

}  // namespace
