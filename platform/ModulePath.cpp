#include "platform/Win32.h"
#include "platform/ModulePath.h"

std::wstring ExecutablePath()
{
    // Paths may exceed MAX_PATH; grow until the name fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768)
            return {};
        path.resize(path.size() * 2);
    }
}

std::wstring ExecutableDirectory()
{
    const std::wstring path = ExecutablePath();
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}
