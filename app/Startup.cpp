#include "platform/Win32.h"
#include "app/Startup.h"

#include "platform/ScopedWin.h"

#include <cwchar>

namespace {
// Not in the headers of every SDK this builds with.
using SetProcessDpiAwarenessContextFn = BOOL(WINAPI*)(HANDLE);
using SetProcessDpiAwarenessFn = HRESULT(WINAPI*)(int);
using SetProcessDPIAwareFn = BOOL(WINAPI*)();
const HANDLE kPerMonitorAwareV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
constexpr int kProcessPerMonitorDpiAware = 2;

template <typename Fn>
Fn Lookup(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}
} // namespace

void EnableDpiAwareness()
{
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    if (auto setContext = Lookup<SetProcessDpiAwarenessContextFn>(user32, "SetProcessDpiAwarenessContext")) {
        if (setContext(kPerMonitorAwareV2))
            return;
    }
    {
        ScopedModule shcore(::LoadLibraryW(L"shcore.dll"));
        if (auto setAwareness = Lookup<SetProcessDpiAwarenessFn>(shcore.Get(), "SetProcessDpiAwareness")) {
            if (setAwareness(kProcessPerMonitorDpiAware) >= 0)
                return;
        }
    }
    if (auto setAware = Lookup<SetProcessDPIAwareFn>(user32, "SetProcessDPIAware"))
        setAware();
}

bool IsStartedFromStation(const wchar_t* commandLine)
{
    return commandLine && std::wcsstr(commandLine, L"-frompc") != nullptr;
}
