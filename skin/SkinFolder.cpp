#include "platform/Win32.h"

#include "skin/SkinFolder.h"

#include "platform/ScopedWin.h"
#include "platform/TextConv.h"

#include <string>

namespace VelUICore {

namespace {
// Far beyond any skin file; a larger one is refused rather than read.
constexpr LONGLONG kMaxSkinFileBytes = 16 * 1024 * 1024;
}  // namespace

bool ReadSkinTextFile(const std::wstring& path, std::wstring& text)
{
    text.clear();
    ScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0 || size.QuadPart > kMaxSkinFileBytes)
        return false;
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        if (!::ReadFile(file.Get(), &bytes[done], static_cast<DWORD>(bytes.size() - done), &got, nullptr))
            return false;
        if (got == 0)
            break;
        done += got;
    }
    bytes.resize(done);
    size_t start = 0;
    if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
        static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF)
        start = 3;
    text = Utf8ToWide(std::string_view(bytes).substr(start));
    return !text.empty();
}

bool SkinFolder::Load(const std::wstring& themeFolder)
{
    loaded = false;
    globalText.clear();
    templates.clear();
    if (themeFolder.empty())
        return false;
    folder = themeFolder;
    std::wstring base = themeFolder;
    if (base.back() != L'\\')
        base += L'\\';

    if (!ReadSkinTextFile(base + L"style_global.xml", globalText))
        return false;

    WIN32_FIND_DATAW found = {};
    HANDLE search = ::FindFirstFileW((base + L"containers\\*.xml").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    std::map<std::wstring, std::wstring> fresh;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const std::wstring fileName = found.cFileName;
        const size_t dot = fileName.rfind(L'.');
        const std::wstring key = dot == std::wstring::npos ? fileName : fileName.substr(0, dot);
        std::wstring text;
        if (ReadSkinTextFile(base + L"containers\\" + fileName, text))
            fresh[key] = std::move(text);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);

    templates = std::move(fresh);
    loaded = true;
    return true;
}

std::wstring SkinFolder::GetContainerXml(const std::wstring& name) const
{
    if (name.empty() || !loaded)
        return std::wstring();
    auto it = templates.find(name);
    return it == templates.end() ? std::wstring() : it->second;
}

}  // namespace VelUICore
