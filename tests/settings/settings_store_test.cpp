// Stored settings against the real registry of the test prefix.
#include "settings/settings_store.h"

#include "support/registry.h"

#include <gtest/gtest.h>

namespace Store = Velmor::SettingsStore;
using VelmorTest::readRawValue;
using VelmorTest::writeRawValue;

namespace {

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { VelmorTest::deleteSettingsKey(); }
    void TearDown() override { VelmorTest::deleteSettingsKey(); }

    static void writeMultiString(const wchar_t* name, const std::wstring& units)
    {
        writeRawValue(name, REG_MULTI_SZ, units.data(), static_cast<DWORD>(units.size() * sizeof(wchar_t)));
    }
    static void writeDword(const wchar_t* name, DWORD value) { writeRawValue(name, REG_DWORD, &value, sizeof(value)); }
};

TEST_F(SettingsStoreTest, MissingKeyGivesDefaults)
{
    EXPECT_EQ(Store::loadStoredUsername(), L"");
    EXPECT_TRUE(Store::loadStoredList(L"Friends", Store::kFriendsCap).empty());
    EXPECT_EQ(Store::loadUiLanguage(), 0);
    EXPECT_EQ(Store::loadUiTheme(), 0);
    EXPECT_TRUE(Store::loadNotificationSound());
}

TEST_F(SettingsStoreTest, UsernameRoundTripAndTrimming)
{
    Store::storeUsername(L"Zo\u00EB K");
    DWORD type = 0;
    std::vector<unsigned char> data;
    ASSERT_TRUE(readRawValue(L"Username", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data.size(), 6 * sizeof(wchar_t));  // five units and the terminating zero
    EXPECT_EQ(Store::loadStoredUsername(), L"Zo\u00EB K");

    Store::storeUsername(L"  padded\t");
    EXPECT_EQ(Store::loadStoredUsername(), L"padded");
    Store::storeUsername(L"   ");
    EXPECT_EQ(Store::loadStoredUsername(), L"");
}

TEST_F(SettingsStoreTest, InvalidUsernameValuesReadAsEmpty)
{
    const DWORD number = 5;
    writeRawValue(L"Username", REG_DWORD, &number, sizeof(number));
    EXPECT_EQ(Store::loadStoredUsername(), L"");
    // The registry adds a forgotten terminator when the unit after the data is
    // zero; a non-zero unit there keeps the value at 2 bytes.
    writeRawValue(L"Username", REG_SZ, L"xy", 2);
    EXPECT_EQ(Store::loadStoredUsername(), L"");
    writeRawValue(L"Username", REG_SZ, L"abc", 4);  // unterminated but long enough
    EXPECT_EQ(Store::loadStoredUsername(), L"ab");
    writeRawValue(L"Username", REG_SZ, L"ab\0cd", 12);
    EXPECT_EQ(Store::loadStoredUsername(), L"ab");  // up to the first zero
}

TEST_F(SettingsStoreTest, ListEncodingRoundTrips)
{
    const Velmor::NameList names = {L"amy", L"B\u00F6b", L"\xD83D\xDE00 face", L"amy2"};
    Store::storeList(L"Friends", names);
    EXPECT_EQ(Store::loadStoredList(L"Friends", Store::kFriendsCap), names);

    Store::storeList(L"Friends", {});
    DWORD type = 0;
    std::vector<unsigned char> data;
    ASSERT_TRUE(readRawValue(L"Friends", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(data, std::vector<unsigned char>(4, 0));
    EXPECT_TRUE(Store::loadStoredList(L"Friends", Store::kFriendsCap).empty());
}

TEST_F(SettingsStoreTest, ListLoadingCleansAndCaps)
{
    writeMultiString(L"Friends", std::wstring(L" bob \0bob\0\0carol\0\0", 18));
    EXPECT_EQ(Store::loadStoredList(L"Friends", Store::kFriendsCap), Velmor::NameList{L"bob"});

    writeMultiString(L"Friends", std::wstring(L"Amy\0amy\0   \0AMY\0\0", 18));
    EXPECT_EQ(Store::loadStoredList(L"Friends", Store::kFriendsCap), (Velmor::NameList{L"Amy", L"amy", L"AMY"}));

    std::wstring recent;
    for (int i = 1; i <= 25; ++i) recent += L"r" + std::to_wstring(i) + L'\0';
    recent.push_back(L'\0');
    writeMultiString(L"RecentUsers", recent);
    const auto loaded = Store::loadStoredList(L"RecentUsers", Store::kRecentUsersCap);
    ASSERT_EQ(loaded.size(), 20u);
    EXPECT_EQ(loaded.front(), L"r1");
    EXPECT_EQ(loaded.back(), L"r20");

    // Without the final zeros the buffer still ends in a zero.
    writeRawValue(L"Friends", REG_MULTI_SZ, L"zedq", 6);
    EXPECT_EQ(Store::loadStoredList(L"Friends", Store::kFriendsCap), Velmor::NameList{L"zed"});
}

TEST_F(SettingsStoreTest, FriendsAndBlockedUsersLoadAtMost500Names)
{
    // 510 stored entries, one of them an early duplicate that does not count.
    std::wstring stored;
    for (int i = 1; i <= 509; ++i) {
        stored += L"n" + std::to_wstring(i) + L'\0';
        if (i == 3) stored += std::wstring(L"n2") + L'\0';
    }
    stored.push_back(L'\0');
    for (const wchar_t* value : {L"Friends", L"BlockedUsers"}) {
        writeMultiString(value, stored);
        const std::size_t cap =
            std::wstring_view(value) == L"Friends" ? Store::kFriendsCap : Store::kBlockedUsersCap;
        const auto loaded = Store::loadStoredList(value, cap);
        ASSERT_EQ(loaded.size(), 500u) << value;
        EXPECT_EQ(loaded[2], L"n3") << value;
        EXPECT_EQ(loaded[3], L"n4") << value;
        EXPECT_EQ(loaded.back(), L"n500") << value;
    }
}

TEST_F(SettingsStoreTest, ListSizeAndTypeLimits)
{
    writeRawValue(L"Friends", REG_MULTI_SZ, L"ab", 2);  // below 4 bytes
    EXPECT_TRUE(Store::loadStoredList(L"Friends", Store::kFriendsCap).empty());

    writeRawValue(L"Friends", REG_SZ, L"amy\0", 8);  // wrong type
    EXPECT_TRUE(Store::loadStoredList(L"Friends", Store::kFriendsCap).empty());

    writeMultiString(L"Friends", std::wstring(L"\0amy\0\0", 6));  // starts with a zero
    EXPECT_TRUE(Store::loadStoredList(L"Friends", Store::kFriendsCap).empty());

    // Exactly 1 MiB is read; one unit more is not read at all.
    std::wstring big(Store::kMaxListBytes / sizeof(wchar_t), L'x');
    big[0] = L'a';
    big[1] = L'\0';
    big[big.size() - 2] = L'\0';
    big[big.size() - 1] = L'\0';
    writeMultiString(L"Friends", big);
    EXPECT_EQ(Store::loadStoredList(L"Friends", Store::kFriendsCap).front(), L"a");
    big.insert(big.begin() + 2, L'y');
    writeMultiString(L"Friends", big);
    EXPECT_TRUE(Store::loadStoredList(L"Friends", Store::kFriendsCap).empty());
}

TEST_F(SettingsStoreTest, NamesThatCannotBeStoredAreLeftOutInsteadOfSplit)
{
    Store::storeList(L"Friends", {L"amy", std::wstring(L"a\0b", 3), L"", L"cy"});
    EXPECT_EQ(Store::loadStoredList(L"Friends", Store::kFriendsCap), (Velmor::NameList{L"amy", L"cy"}));
}

TEST_F(SettingsStoreTest, PreferenceRanges)
{
    writeDword(L"UiLanguage", 3);
    EXPECT_EQ(Store::loadUiLanguage(), 3);
    writeDword(L"UiLanguage", 4);
    EXPECT_EQ(Store::loadUiLanguage(), 0);
    writeDword(L"UiTheme", 2);
    EXPECT_EQ(Store::loadUiTheme(), 2);
    writeDword(L"UiTheme", 3);
    EXPECT_EQ(Store::loadUiTheme(), 0);
    writeRawValue(L"UiTheme", REG_SZ, L"1", 4);
    EXPECT_EQ(Store::loadUiTheme(), 0);
    const unsigned long long wide = 1;
    writeRawValue(L"UiTheme", REG_QWORD, &wide, sizeof(wide));
    EXPECT_EQ(Store::loadUiTheme(), 0);

    writeDword(L"NotificationSound", 0);
    EXPECT_FALSE(Store::loadNotificationSound());
    writeDword(L"NotificationSound", 7);
    EXPECT_TRUE(Store::loadNotificationSound());
    writeRawValue(L"NotificationSound", REG_SZ, L"0", 4);
    EXPECT_TRUE(Store::loadNotificationSound());
}

TEST_F(SettingsStoreTest, PreferenceWritesClampOutOfRangeIndices)
{
    Store::storeUiLanguage(2);
    EXPECT_EQ(Store::loadUiLanguage(), 2);
    Store::storeUiLanguage(4);
    EXPECT_EQ(Store::loadUiLanguage(), 0);
    Store::storeUiTheme(1);
    EXPECT_EQ(Store::loadUiTheme(), 1);
    Store::storeUiTheme(-1);
    EXPECT_EQ(Store::loadUiTheme(), 0);
    Store::storeNotificationSound(false);
    EXPECT_FALSE(Store::loadNotificationSound());
    Store::storeNotificationSound(true);
    DWORD type = 0;
    std::vector<unsigned char> data;
    ASSERT_TRUE(readRawValue(L"NotificationSound", type, data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(data, (std::vector<unsigned char>{1, 0, 0, 0}));
}

}  // namespace
