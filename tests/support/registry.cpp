#include "support/registry.h"

namespace VelmorTest {
namespace {
constexpr wchar_t kKey[] = L"Software\\VelmorChatClient";
}

void deleteSettingsKey() { ::RegDeleteTreeW(HKEY_CURRENT_USER, kKey); }

void writeRawValue(const wchar_t* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return;
    }
    ::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    ::RegCloseKey(key);
}

bool readRawValue(const wchar_t* name, DWORD& type, std::vector<unsigned char>& data)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    bool ok = ::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    if (ok) {
        data.assign(size, 0);
        ok = ::RegQueryValueExW(key, name, nullptr, &type, data.data(), &size) == ERROR_SUCCESS;
        data.resize(size);
    }
    ::RegCloseKey(key);
    return ok;
}

}  // namespace VelmorTest
