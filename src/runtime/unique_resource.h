#pragma once
// Owners for Win32 handles. Each owner type is declared by the function that closes what it
// holds; the owner closes it exactly once, keeps the caller's last-error code intact while
// doing so, and releases what it held before handing out its address to an out parameter.

#include <windows.h>
#include <objbase.h>

template <typename Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() noexcept = default;
    explicit UniqueResource(Type value) noexcept : value_(value) {}
    UniqueResource(UniqueResource&& other) noexcept : value_(other.Detach()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept
    {
        if (this != &other) {
            Reset(other.Detach());
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { Reset(); }

    Type Get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::Invalid(); }

    // For out parameters: whatever was held is closed first.
    Type* Put() noexcept
    {
        Reset();
        return &value_;
    }

    Type Detach() noexcept
    {
        Type value = value_;
        value_ = Traits::Invalid();
        return value;
    }

    void Reset(Type value = Traits::Invalid()) noexcept
    {
        if (value_ != Traits::Invalid()) {
            DWORD lastError = GetLastError();
            Traits::Close(value_);
            SetLastError(lastError);
        }
        value_ = value;
    }

private:
    Type value_ = Traits::Invalid();
};

struct HandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type value) noexcept { CloseHandle(value); }
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type value) noexcept { CloseHandle(value); }
};

struct RegistryKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type value) noexcept { RegCloseKey(value); }
};

struct LibraryTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type value) noexcept { FreeLibrary(value); }
};

struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type value) noexcept { DeleteObject(value); }
};

// A zero-terminated string from the COM task allocator.
struct CoTaskStringTraits {
    using Type = WCHAR*;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type value) noexcept { CoTaskMemFree(value); }
};

struct MemoryDcTraits {
    using Type = HDC;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type value) noexcept { DeleteDC(value); }
};

using UniqueHandle = UniqueResource<HandleTraits>;
using UniqueFileHandle = UniqueResource<FileHandleTraits>;
using UniqueKey = UniqueResource<RegistryKeyTraits>;
using UniqueLibrary = UniqueResource<LibraryTraits>;
using UniqueGdiObject = UniqueResource<GdiObjectTraits>;
using UniqueMemoryDc = UniqueResource<MemoryDcTraits>;
using UniqueCoTaskString = UniqueResource<CoTaskStringTraits>;
