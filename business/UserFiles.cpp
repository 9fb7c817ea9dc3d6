#include "platform/Win32.h"
#include "business/UserFiles.h"

#include "platform/ModulePath.h"

#include "platform/JsonRead.h"
#include "logging/LogSettings.h"
#include "platform/ScopedWin.h"
#include "platform/TextConv.h"

#include <json/json.h>

#include <cstring>

namespace UserFiles {

namespace {

// User files are small; a larger file is not one VelStation wrote.
constexpr LONGLONG kMaxUserFileSize = 64LL * 1024 * 1024;

void CreateWithParents(const std::wstring& path)
{
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == L'\\' || path[i] == L'/') {
            if (path[i - 1] != L':' && path[i - 1] != L'\\')
                ::CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
        }
    }
}

ScopedHandle OpenExclusive(const std::wstring& path)
{
    return ScopedHandle(
        ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Copies out of a mapped view without faulting: a page that cannot be read
// (the file shrank, the disk failed) makes the copy fail instead of raising
// an in-page error in this process.
bool SafeCopy(void* target, const void* source, size_t size)
{
    SIZE_T copied = 0;
    return ::ReadProcessMemory(::GetCurrentProcess(), source, target, size, &copied) && copied == size;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes)
{
    ScopedHandle file = OpenExclusive(path);
    if (!file)
        return false;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.Get(), &size) || size.QuadPart <= 0 || size.QuadPart > kMaxUserFileSize)
        return false;
    ScopedHandle mapping(::CreateFileMappingW(file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping)
        return false;
    const void* view = ::MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0);
    if (!view)
        return false;
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    const bool ok = SafeCopy(bytes.data(), view, bytes.size());
    ::UnmapViewOfFile(view);
    return ok;
}

bool ValidUtf8WithHighByte(const std::string& bytes)
{
    bool high = false;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        high = true;
        size_t extra;
        uint32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n)
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are malformed.
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += extra + 1;
    }
    return high;
}

void LogAnsiFile()
{
    LogSettings& settings = LogSettings::Instance();
    const int decision = settings.decide();
    if (decision == 0)
        return;
    const std::string line =
        formatLine("GetFileEncode FE_ANSI", "ZrLocalSelfSSHandler::GetSelfSSData", "zrlocalselfsshandler", 36, 5);
    if (decision == 2)
        write(line);
}

} // namespace

std::wstring ExeDirectory()
{
    return ExecutableDirectory();
}

std::wstring CommonDirectory(const std::wstring& base)
{
    std::wstring path = base + L"\\Data";
    ::CreateDirectoryW(path.c_str(), nullptr);
    path += L"\\Common";
    ::CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

std::wstring UserDirectory(const std::wstring& base, const std::string& userUtf8)
{
    std::wstring user = Utf8ToWide(userUtf8);
    if (user.empty())
        user = L"guest";
    const std::wstring path = base + L"\\Data\\Common\\" + user + L"\\";
    CreateWithParents(path.substr(0, path.size() - 1));
    return path;
}

std::wstring FileDirectory(const std::wstring& base)
{
    const std::wstring path = base + L"\\Data" + L"\\File";
    ::CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

std::wstring DownloadDirectory(const std::wstring& base)
{
    const std::wstring path = base + L"\\Data" + L"\\Download";
    ::CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

bool ReadRecordFile(const std::wstring& path, size_t recordSize, RecordFileHeader& header,
                    std::vector<uint8_t>& records)
{
    std::string bytes;
    if (recordSize == 0 || !ReadWholeFile(path, bytes))
        return false;
    const uint64_t fileSize = bytes.size();
    bool ok = fileSize >= sizeof(RecordFileHeader);
    if (ok)
        std::memcpy(&header, bytes.data(), sizeof(header));
    ok = ok && header.count > 0 &&
         fileSize == sizeof(RecordFileHeader) + static_cast<uint64_t>(header.count) * recordSize;
    if (ok)
        records.assign(bytes.begin() + sizeof(RecordFileHeader), bytes.end());
    else
        records.clear();
    return ok;
}

void ReadUserRecords(const std::wstring& base, UserRecord& first, UserRecordV2& second)
{
    std::memset(&first, 0, sizeof(first));
    std::memset(&second, 0, sizeof(second));
    const std::wstring directory = CommonDirectory(base) + L"\\";
    RecordFileHeader header{};
    std::vector<uint8_t> records;
    if (ReadRecordFile(directory + L"UserInfo.data", sizeof(UserRecord), header, records))
        std::memcpy(&first, records.data(), sizeof(first));
    if (ReadRecordFile(directory + L"UserInfoV2.data", sizeof(UserRecordV2), header, records))
        std::memcpy(&second, records.data(), sizeof(second));
}

std::wstring FieldWide(const wchar_t* field, size_t count)
{
    size_t length = 0;
    while (length < count && field[length] != L'\0')
        ++length;
    return std::wstring(field, length);
}

std::string FieldText(const wchar_t* field, size_t count)
{
    return WideToUtf8(FieldWide(field, count));
}

std::string FieldText(const char* field, size_t count)
{
    return std::string(field, strnlen(field, count));
}

bool IsAnsiText(const std::string& bytes)
{
    if (bytes.size() >= 3) {
        const auto b0 = static_cast<unsigned char>(bytes[0]), b1 = static_cast<unsigned char>(bytes[1]),
                   b2 = static_cast<unsigned char>(bytes[2]);
        if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF) || (b0 == 0xEF && b1 == 0xBB && b2 == 0xBF))
            return false;
    }
    return !ValidUtf8WithHighByte(bytes);
}

std::optional<ZrSelfSSData> ParseSelfSelect(const std::string& utf8Json)
{
    Json::Value root;
    if (!JsonRead::Parse(utf8Json, root) || !root.isObject())
        return std::nullopt;
    try {
        ZrSelfSSData data;
        data.code = JsonRead::Int(root, "code");
        data.message = JsonRead::WideText(root, "message");
        const Json::Value* groups = JsonRead::Member(root, "data");
        if (groups && groups->isArray()) {
            for (const Json::Value& g : *groups) {
                if (!g.isObject())
                    continue;
                ZrSelfSSGroup group;
                group.groupId = JsonRead::Member(g, "id") ? JsonRead::Int(g, "id") : JsonRead::Int(g, "groupId");
                group.groupName = JsonRead::Text(g, "groupName");
                group.groupType = static_cast<int32_t>(JsonRead::UInt(g, "groupType"));
                group.ver = JsonRead::Int(g, "ver", -1);
                group.sort = static_cast<int32_t>(JsonRead::UInt(g, "sort"));
                group.isDisplay = JsonRead::UInt(g, "isDisplay") != 0;
                group.isDefault = JsonRead::UInt(g, "isDefault") != 0;
                const Json::Value* stocks = JsonRead::Member(g, "stockList");
                if (stocks && stocks->isArray()) {
                    for (const Json::Value& s : *stocks) {
                        if (!s.isObject())
                            continue;
                        ZrSelfSSStock stock;
                        stock.securityMarket = JsonRead::Text(s, "securityMarket");
                        stock.securityNo = JsonRead::Text(s, "securityNo");
                        stock.securityName = JsonRead::Text(s, "securityName");
                        stock.optionalPrice = JsonRead::Double(s, "optionalPrice");
                        stock.createTime = JsonRead::Int64(s, "createTime");
                        stock.isTop = static_cast<int32_t>(JsonRead::UInt(s, "isTop"));
                        group.stocks.push_back(std::move(stock));
                    }
                }
                data.groups.push_back(std::move(group));
            }
        }
        return data;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<ZrSelfSSData> ReadSelfSelectFile(const std::wstring& base, const std::string& userUtf8,
                                               const std::string& group)
{
    const std::wstring path = UserDirectory(base, userUtf8) + L"SelfSelectStock_" + Utf8ToWide(group) + L".data";
    std::string bytes;
    if (!ReadWholeFile(path, bytes))
        return std::nullopt;
    std::string text;
    if (IsAnsiText(bytes)) {
        text = WideToUtf8(CodePageToWide(bytes, CP_ACP));
        LogAnsiFile();
    } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
               static_cast<unsigned char>(bytes[1]) == 0xFE) {
        // A UTF-16 file is what its mark says; the JSON reader wants UTF-8.
        std::wstring wide((bytes.size() - 2) / 2, L'\0');
        std::memcpy(wide.data(), bytes.data() + 2, wide.size() * 2);
        text = WideToUtf8(wide);
    } else if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
               static_cast<unsigned char>(bytes[1]) == 0xFF) {
        std::wstring wide((bytes.size() - 2) / 2, L'\0');
        for (size_t i = 0; i < wide.size(); ++i)
            wide[i] = static_cast<wchar_t>((static_cast<unsigned char>(bytes[2 + 2 * i]) << 8) |
                                           static_cast<unsigned char>(bytes[3 + 2 * i]));
        text = WideToUtf8(wide);
    } else if (bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF) {
        text = bytes.substr(3);
    } else {
        text = std::move(bytes);
    }
    return ParseSelfSelect(text);
}

} // namespace UserFiles
