// Version 6 of the common controls for code run inside a test program. The
// client gets them from its manifest; a test program has none, so it
// activates a context made from an equivalent manifest around the code that
// creates controls (cue banners, for example, exist only in version 6).
#pragma once

#include <windows.h>

#include <string>

namespace VelmorTest {

class CommonControlsV6Scope {
public:
    CommonControlsV6Scope();
    ~CommonControlsV6Scope();
    CommonControlsV6Scope(const CommonControlsV6Scope&) = delete;
    CommonControlsV6Scope& operator=(const CommonControlsV6Scope&) = delete;

    bool active() const { return active_; }

private:
    std::wstring path_;
    HANDLE context_ = INVALID_HANDLE_VALUE;
    ULONG_PTR cookie_ = 0;
    bool active_ = false;
};

}  // namespace VelmorTest
