#include "platform/Win32.h"
#include "platform/TrayIni.h"

#include "platform/ModulePath.h"

namespace {
constexpr wchar_t kSection[] = L"switch";
}

TrayIni::TrayIni() : m_baseDir(ExecutableDirectory()) {}

TrayIni::TrayIni(std::wstring baseDir) : m_baseDir(std::move(baseDir)) {}

std::wstring TrayIni::Path() const
{
    std::wstring dir = m_baseDir + L"\\Data";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    dir += L"\\Common";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    return dir + L"\\tray.ini";
}

std::wstring TrayIni::EnsureFile() const
{
    std::wstring path = Path();
    if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ::WritePrivateProfileStringW(kSection, L"closedown", L"0", path.c_str());
        ::WritePrivateProfileStringW(kSection, L"startup", L"1", path.c_str());
    }
    return path;
}

int TrayIni::ReadInt(const wchar_t* key, int defaultValue) const
{
    return static_cast<int>(::GetPrivateProfileIntW(kSection, key, defaultValue, EnsureFile().c_str()));
}

bool TrayIni::WriteInt(const wchar_t* key, int value) const
{
    return WriteText(key, std::to_wstring(value));
}

std::wstring TrayIni::ReadText(const wchar_t* key, const wchar_t* defaultValue) const
{
    const std::wstring path = EnsureFile();
    std::wstring buffer(1024, L'\0');
    for (;;) {
        const DWORD length = ::GetPrivateProfileStringW(kSection, key, defaultValue, buffer.data(),
                                                        static_cast<DWORD>(buffer.size()), path.c_str());
        // A value that filled the buffer may have been cut; read again larger.
        if (length + 1 < buffer.size() || buffer.size() >= 65536) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 4);
    }
}

bool TrayIni::WriteText(const wchar_t* key, const std::wstring& value) const
{
    return ::WritePrivateProfileStringW(kSection, key, value.c_str(), EnsureFile().c_str()) != FALSE;
}
