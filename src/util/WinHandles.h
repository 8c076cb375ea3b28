// Small owners for the Win32 resources the engine holds: each closes what it
// holds when it goes out of scope, so that no early return of a routine can
// leak a handle, a GDI object, a registry key or a COM reference.
#pragma once

#include <windows.h>

#include <utility>

namespace brik {

// One owner shape for every kind of handle; Traits name the empty value and
// the release call.
template <typename Traits>
class TScoped {
public:
    using Handle = typename Traits::Handle;
    TScoped() = default;
    explicit TScoped(Handle handle) : handle_(handle) {}
    ~TScoped() { Reset(); }
    TScoped(const TScoped&) = delete;
    TScoped& operator=(const TScoped&) = delete;
    TScoped(TScoped&& other) noexcept : handle_(other.Release()) {}
    TScoped& operator=(TScoped&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }

    Handle Get() const { return handle_; }
    bool Ok() const { return handle_ != Traits::Empty(); }
    explicit operator bool() const { return Ok(); }
    // For functions that return a handle through a pointer.
    Handle* Out() {
        Reset();
        return &handle_;
    }
    Handle Release() { return std::exchange(handle_, Traits::Empty()); }
    void Reset(Handle handle = Traits::Empty()) {
        if (handle_ != Traits::Empty()) Traits::Close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = Traits::Empty();
};

namespace scoped_detail {
// CreateFile's failure value; the other kernel objects fail with null, and
// both are normalised to the one empty value here.
struct FileTraits {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { CloseHandle(h); }
};
struct HandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static void Close(Handle h) { CloseHandle(h); }
};
struct FindTraits {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::FindClose(h); }  // not the install's FindClose(TSearchRecExd&)
};
struct KeyTraits {
    using Handle = HKEY;
    static Handle Empty() { return nullptr; }
    static void Close(Handle h) { RegCloseKey(h); }
};
struct LibraryTraits {
    using Handle = HMODULE;
    static Handle Empty() { return nullptr; }
    static void Close(Handle h) { FreeLibrary(h); }
};
template <typename T>
struct GdiTraits {
    using Handle = T;
    static Handle Empty() { return nullptr; }
    static void Close(Handle h) { DeleteObject(h); }
};
struct DcTraits {
    using Handle = HDC;
    static Handle Empty() { return nullptr; }
    static void Close(Handle h) { DeleteDC(h); }
};
template <typename T>
struct ComTraits {
    using Handle = T*;
    static Handle Empty() { return nullptr; }
    static void Close(Handle h) { h->Release(); }
};
}  // namespace scoped_detail

using TScopedFile = TScoped<scoped_detail::FileTraits>;      // CreateFileA
using TScopedHandle = TScoped<scoped_detail::HandleTraits>;  // processes, threads, events, tokens, mutexes
using TScopedFind = TScoped<scoped_detail::FindTraits>;      // FindFirstFileA
using TScopedKey = TScoped<scoped_detail::KeyTraits>;        // RegOpenKeyExA, RegCreateKeyA
using TScopedLibrary = TScoped<scoped_detail::LibraryTraits>;
using TScopedBitmap = TScoped<scoped_detail::GdiTraits<HBITMAP>>;
using TScopedFont = TScoped<scoped_detail::GdiTraits<HFONT>>;
using TScopedBrush = TScoped<scoped_detail::GdiTraits<HBRUSH>>;
using TScopedMemoryDC = TScoped<scoped_detail::DcTraits>;  // CreateCompatibleDC
template <typename T>
using TScopedCom = TScoped<scoped_detail::ComTraits<T>>;

// A window's device context, given back to the window.
class TWindowDC {
public:
    explicit TWindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~TWindowDC() {
        if (dc_ != nullptr) ReleaseDC(window_, dc_);
    }
    TWindowDC(const TWindowDC&) = delete;
    TWindowDC& operator=(const TWindowDC&) = delete;
    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// An object selected into a device context until the end of the scope.
class TSelectObject {
public:
    TSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(object != nullptr ? SelectObject(dc, object) : nullptr) {}
    ~TSelectObject() {
        if (old_ != nullptr) SelectObject(dc_, old_);
    }
    TSelectObject(const TSelectObject&) = delete;
    TSelectObject& operator=(const TSelectObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace brik
