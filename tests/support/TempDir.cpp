#include "platform/Win32.h"
#include "tests/support/TempDir.h"

#include <shellapi.h>

#include <string>

TempDir::TempDir()
{
    wchar_t base[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        std::wstring candidate = std::wstring(base) + L"veltray-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(::InterlockedIncrement(&counter));
        if (::CreateDirectoryW(candidate.c_str(), nullptr)) {
            m_path = candidate;
            return;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS)
            return;
    }
}

TempDir::~TempDir()
{
    if (m_path.empty())
        return;
    std::wstring from = m_path;
    from.push_back(L'\0'); // double-terminated list
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NO_UI;
    ::SHFileOperationW(&op);
}

bool FileExists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
