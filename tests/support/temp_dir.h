// A fresh temporary folder for one test, removed with everything in it.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

namespace VelmorTest {

class TempDir {
public:
    TempDir()
    {
        wchar_t base[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, base);
        static unsigned counter = 0;
        path_ = std::filesystem::path(base) /
                (L"velmor-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::wstring str() const { return path_.wstring(); }

private:
    std::filesystem::path path_;
};

}  // namespace VelmorTest
