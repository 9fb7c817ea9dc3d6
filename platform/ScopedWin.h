#pragma once
#include "platform/Win32.h"

#include <utility>

// One owner per Win32 resource: copy is deleted, move hands the resource over.
template <typename Traits>
class ScopedResource {
public:
    using Type = typename Traits::Type;

    ScopedResource() noexcept = default;
    explicit ScopedResource(Type value) noexcept : m_value(value) {}
    ~ScopedResource() { Reset(); }

    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;
    ScopedResource(ScopedResource&& other) noexcept : m_value(other.Release()) {}
    ScopedResource& operator=(ScopedResource&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Type Get() const noexcept { return m_value; }
    explicit operator bool() const noexcept { return Traits::IsValid(m_value); }

    Type Release() noexcept { return std::exchange(m_value, Traits::Invalid()); }
    void Reset(Type value = Traits::Invalid()) noexcept
    {
        Type old = std::exchange(m_value, value);
        if (Traits::IsValid(old))
            Traits::Close(old);
    }

private:
    Type m_value = Traits::Invalid();
};

struct HandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) noexcept { ::CloseHandle(h); }
};

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { ::FreeLibrary(h); }
};

struct IconTraits {
    using Type = HICON;
    static Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type h) noexcept { return h != nullptr; }
    static void Close(Type h) noexcept { ::DestroyIcon(h); }
};

using ScopedHandle = ScopedResource<HandleTraits>;
using ScopedModule = ScopedResource<ModuleTraits>;
using ScopedIcon = ScopedResource<IconTraits>;
