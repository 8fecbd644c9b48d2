// One move-only owner for every platform handle: the handle is released
// exactly once, by whoever owns it last, on every path. Modelled on WIL's
// unique_any (which does not build with this MinGW): copy the pattern, not the
// header. Each handle family is a small traits type naming its invalid value
// and its release function.
#pragma once

#include <windows.h>

#include <utility>

namespace Velmor {

template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Type value) noexcept : value_(value) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Type get() const noexcept { return value_; }
    bool valid() const noexcept { return value_ != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Gives up ownership without releasing.
    Type release() noexcept { return std::exchange(value_, Traits::invalid()); }

    void reset(Type value = Traits::invalid()) noexcept
    {
        const Type old = std::exchange(value_, value);
        if (old != Traits::invalid()) Traits::close(old);
    }

    // For out-parameters of creating functions: releases the current handle
    // and hands out the slot.
    Type* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    Type value_ = Traits::invalid();
};

// Traits for handle types whose "none" value is a zero/null value.
template <typename T, auto CloseFunction>
struct NullHandleTraits {
    using Type = T;
    static constexpr T invalid() noexcept { return T{}; }
    static void close(T value) noexcept { CloseFunction(value); }
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(Type value) noexcept { ::CloseHandle(value); }
};

inline void deleteGdiObject(HGDIOBJ object) noexcept { ::DeleteObject(object); }

using UniqueKernelHandle = UniqueHandle<NullHandleTraits<HANDLE, &::CloseHandle>>;  // events, threads, ...
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;                            // CreateFileW results
using UniqueRegKey = UniqueHandle<NullHandleTraits<HKEY, &::RegCloseKey>>;
using UniqueMenu = UniqueHandle<NullHandleTraits<HMENU, &::DestroyMenu>>;
using UniqueWindow = UniqueHandle<NullHandleTraits<HWND, &::DestroyWindow>>;
using UniqueGlobal = UniqueHandle<NullHandleTraits<HGLOBAL, &::GlobalFree>>;
using UniqueAccelerators = UniqueHandle<NullHandleTraits<HACCEL, &::DestroyAcceleratorTable>>;
template <typename GdiType>
using UniqueGdiObject = UniqueHandle<NullHandleTraits<GdiType, &deleteGdiObject>>;
using UniqueFont = UniqueGdiObject<HFONT>;
using UniqueBrush = UniqueGdiObject<HBRUSH>;
using UniquePen = UniqueGdiObject<HPEN>;

// A device context obtained with GetDC, given back with ReleaseDC.
class WindowDc {
public:
    explicit WindowDc(HWND window) noexcept : window_(window), dc_(::GetDC(window)) {}
    ~WindowDc()
    {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const noexcept { return dc_; }
    explicit operator bool() const noexcept { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// Selects a GDI object into a device context for the lifetime of the scope.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) noexcept
        : dc_(dc), previous_(dc && object ? ::SelectObject(dc, object) : nullptr)
    {
    }
    ~ScopedSelectObject()
    {
        if (previous_) ::SelectObject(dc_, previous_);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

}  // namespace Velmor
