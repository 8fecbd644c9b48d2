// The client's persistent facts in the current user's registry hive, under
// HKEY_CURRENT_USER\Software\VelmorChatClient: the display name, three name
// lists and three preferences. Reads never fail (anything missing or invalid
// gives the default, silently); writes that fail leave the old stored value.
// Interface thread only.
#pragma once

#include "session/name_list.h"

#include <string>
#include <string_view>

namespace Velmor::SettingsStore {

inline constexpr wchar_t kKeyPath[] = L"Software\\VelmorChatClient";

inline constexpr std::size_t kFriendsCap = 500;
inline constexpr std::size_t kRecentUsersCap = 20;
inline constexpr std::size_t kBlockedUsersCap = 500;

// Stored list values outside this byte range are not read at all.
inline constexpr unsigned long kMinListBytes = 4;
inline constexpr unsigned long kMaxListBytes = 1024 * 1024;

std::wstring loadStoredUsername();  // trimmed; empty when absent or invalid
void storeUsername(std::wstring_view name);

NameList loadStoredList(const wchar_t* valueName, std::size_t cap);
void storeList(const wchar_t* valueName, const NameList& names);

int loadUiLanguage();        // 0..3, else 0
int loadUiTheme();           // 0..2, else 0
bool loadNotificationSound();  // off only when stored as the number 0
void storeUiLanguage(int index);
void storeUiTheme(int index);
void storeNotificationSound(bool on);

// The multi-string encoding of a list (exposed for tests): each name and a
// terminating zero, one more zero at the end; an empty list is two zeros.
std::wstring encodeMultiString(const NameList& names);

}  // namespace Velmor::SettingsStore
