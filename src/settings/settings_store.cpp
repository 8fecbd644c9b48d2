#include "settings/settings_store.h"

#include "platform/unique_handle.h"

#include <cwctype>
#include <optional>
#include <vector>

namespace Velmor::SettingsStore {
namespace {

UniqueRegKey openForReading()
{
    UniqueRegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        return UniqueRegKey();
    }
    return key;
}

UniqueRegKey openForWriting()
{
    UniqueRegKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr,
                          key.put(), nullptr) != ERROR_SUCCESS) {
        return UniqueRegKey();
    }
    return key;
}

// The runtime's own white-space test; stored values are trimmed with it.
std::wstring trimRuntimeSpace(std::wstring_view text)
{
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && std::iswspace(static_cast<wint_t>(text[begin]))) ++begin;
    while (end > begin && std::iswspace(static_cast<wint_t>(text[end - 1]))) --end;
    return std::wstring(text.substr(begin, end - begin));
}

std::optional<DWORD> loadDword(const wchar_t* valueName)
{
    const UniqueRegKey key = openForReading();
    if (!key) return std::nullopt;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (::RegQueryValueExW(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value)) {
        return std::nullopt;
    }
    return value;
}

void storeDword(const wchar_t* valueName, DWORD value)
{
    const UniqueRegKey key = openForWriting();
    if (!key) return;
    ::RegSetValueExW(key.get(), valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

// Reads a string-typed value of the expected type into a zero-padded buffer
// of (size / 2 + 1) units, so the data always ends in zeros.
std::optional<std::vector<wchar_t>> loadUnits(const wchar_t* valueName, DWORD expectedType, DWORD minBytes,
                                              DWORD maxBytes)
{
    const UniqueRegKey key = openForReading();
    if (!key) return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key.get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != expectedType || size < minBytes || size > maxBytes) {
        return std::nullopt;
    }
    std::vector<wchar_t> units(size / 2 + 1, L'\0');
    DWORD capacity = static_cast<DWORD>(units.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key.get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(units.data()), &capacity) !=
            ERROR_SUCCESS ||
        type != expectedType) {
        return std::nullopt;
    }
    return units;
}

}  // namespace

std::wstring loadStoredUsername()
{
    const auto units = loadUnits(L"Username", REG_SZ, 3, MAXDWORD);
    if (!units) return {};
    return trimRuntimeSpace(std::wstring_view(units->data()));  // up to the first zero
}

void storeUsername(std::wstring_view name)
{
    const UniqueRegKey key = openForWriting();
    if (!key) return;
    const std::wstring value(name);
    ::RegSetValueExW(key.get(), L"Username", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

NameList loadStoredList(const wchar_t* valueName, std::size_t cap)
{
    NameList names;
    const auto units = loadUnits(valueName, REG_MULTI_SZ, kMinListBytes, kMaxListBytes);
    if (!units || units->front() == L'\0') return names;

    const wchar_t* cursor = units->data();
    const wchar_t* const end = units->data() + units->size();
    while (cursor < end && names.size() < cap) {
        const std::wstring_view entry(cursor);  // the buffer always ends in a zero
        if (entry.empty()) break;               // the final zero
        cursor += entry.size() + 1;
        std::wstring name = trimRuntimeSpace(entry);
        if (name.empty() || containsName(names, name)) continue;
        names.push_back(std::move(name));
    }
    return names;
}

std::wstring encodeMultiString(const NameList& names)
{
    std::wstring data;
    for (const std::wstring& name : names) {
        // A name holding a zero unit cannot be represented: it would come back
        // as two names. Such a name is left out rather than split.
        if (name.empty() || name.find(L'\0') != std::wstring::npos) continue;
        data += name;
        data.push_back(L'\0');
    }
    if (data.empty()) data.push_back(L'\0');
    data.push_back(L'\0');
    return data;
}

void storeList(const wchar_t* valueName, const NameList& names)
{
    const std::wstring data = encodeMultiString(names);
    const UniqueRegKey key = openForWriting();
    if (!key) return;
    ::RegSetValueExW(key.get(), valueName, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                     static_cast<DWORD>(data.size() * sizeof(wchar_t)));
}

int loadUiLanguage()
{
    const auto value = loadDword(L"UiLanguage");
    return value && *value <= 3 ? static_cast<int>(*value) : 0;
}

int loadUiTheme()
{
    const auto value = loadDword(L"UiTheme");
    return value && *value <= 2 ? static_cast<int>(*value) : 0;
}

bool loadNotificationSound()
{
    const auto value = loadDword(L"NotificationSound");
    return !(value && *value == 0);
}

void storeUiLanguage(int index) { storeDword(L"UiLanguage", index >= 0 && index < 4 ? static_cast<DWORD>(index) : 0); }

void storeUiTheme(int index) { storeDword(L"UiTheme", index >= 0 && index < 3 ? static_cast<DWORD>(index) : 0); }

void storeNotificationSound(bool on) { storeDword(L"NotificationSound", on ? 1 : 0); }

}  // namespace Velmor::SettingsStore
