// Gives every Windows test program a HKEY_CURRENT_USER of its own: a key named
// after the process under the real one, put in place of the predefined handle
// before main runs and deleted at exit. The programs of one run share a Wine
// prefix, so without this one program's fresh settings key would be another's
// half-written one, and they could only run one at a time.
//
// Compiled into each test executable (not a library member), so the linker
// always keeps it.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

class PrivateCurrentUser {
public:
    PrivateCurrentUser()
    {
        path_ = L"Software\\VelmorTests\\" + std::to_wstring(::GetCurrentProcessId());
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());  // a reused id's leftovers
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                              nullptr) != ERROR_SUCCESS ||
            ::RegOverridePredefKey(HKEY_CURRENT_USER, key_) != ERROR_SUCCESS) {
            // Running against the shared key would make the results depend on
            // which other program runs beside this one.
            std::fputs("could not give the test program a private HKEY_CURRENT_USER\n", stderr);
            ::ExitProcess(3);
        }
    }
    ~PrivateCurrentUser()
    {
        ::RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        ::RegCloseKey(key_);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }
    PrivateCurrentUser(const PrivateCurrentUser&) = delete;
    PrivateCurrentUser& operator=(const PrivateCurrentUser&) = delete;

private:
    std::wstring path_;
    HKEY key_ = nullptr;
};

const PrivateCurrentUser gPrivateCurrentUser;

}  // namespace
