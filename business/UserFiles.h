#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Files VelStation leaves for VelTray under the installation directory: the
// two user record files and the self-selected stock file. Every function
// takes the directory that stands for the executable's directory.

#pragma pack(push, 1)
struct RecordFileHeader {
    uint8_t reserved[520];
    uint16_t reserved2;
    uint8_t reserved3;
    int32_t count;
};
static_assert(sizeof(RecordFileHeader) == 527, "record file header layout");

struct UserRecord {
    wchar_t nickname[256];
    char unused1[256];
    char token[127];
    char unused2[127];
    wchar_t sid[256];
    wchar_t reffer[256];
    wchar_t bid[12];
    wchar_t unused3[64];
    wchar_t org[64];
    wchar_t appVersion[20];
    wchar_t softName[32];
    wchar_t project[256];
    wchar_t unused4[256];
    char distinctId[127];
    uint8_t padding;
};
static_assert(sizeof(wchar_t) == 2, "records hold UTF-16 code units");
static_assert(sizeof(UserRecord) == 3582, "user record layout");
static_assert(offsetof(UserRecord, sid) == 1022 && offsetof(UserRecord, org) == 2198 &&
                  offsetof(UserRecord, project) == 2430 && offsetof(UserRecord, distinctId) == 3454,
              "user record offsets");

struct UserRecordV2 {
    char username[256];
    wchar_t unused1[256];
    wchar_t unused2[127];
};
static_assert(sizeof(UserRecordV2) == 1022, "second user record layout");
#pragma pack(pop)

namespace UserFiles {

// The executable's directory, without a trailing separator.
std::wstring ExeDirectory();
// base + "\\Data\\Common" (created level by level).
std::wstring CommonDirectory(const std::wstring& base);
// base + "\\Data\\Common\\" + user + "\\" ("guest" for an empty user name),
// created with its parents.
std::wstring UserDirectory(const std::wstring& base, const std::string& userUtf8);
// base + "\\Data\\File" and base + "\\Data\\Download" (last level created).
std::wstring FileDirectory(const std::wstring& base);
std::wstring DownloadDirectory(const std::wstring& base);

// Opens without sharing and reads through a read-only mapping. Fails for a
// missing, locked, empty or wrongly sized file, or when the view faults.
bool ReadRecordFile(const std::wstring& path, size_t recordSize, RecordFileHeader& header,
                    std::vector<uint8_t>& records);

// The first record of each user file; all zero when a file fails.
void ReadUserRecords(const std::wstring& base, UserRecord& first, UserRecordV2& second);

// A wide array field as UTF-8, up to its NUL or its end.
std::string FieldText(const wchar_t* field, size_t count);
std::wstring FieldWide(const wchar_t* field, size_t count);
std::string FieldText(const char* field, size_t count);

} // namespace UserFiles

struct ZrSelfSSStock {
    std::string securityMarket;
    std::string securityNo;
    std::string securityName;
    double optionalPrice = 0.0;
    int64_t createTime = 0;
    int32_t isTop = 0;
};

struct ZrSelfSSGroup {
    bool isDisplay = false;
    bool isDefault = false;
    std::string groupName;
    int32_t groupId = 0;
    int32_t groupType = 0;
    int32_t ver = -1;
    int32_t sort = 0;
    std::vector<ZrSelfSSStock> stocks;
};

struct ZrSelfSSData {
    int32_t code = 0;
    std::wstring message;
    std::vector<ZrSelfSSGroup> groups;
};

namespace UserFiles {

// How the self-selected stock file's bytes are taken: as they are (UTF-8 or
// a byte-order mark) or as ANSI text.
bool IsAnsiText(const std::string& bytes);
// Parses the JSON of a self-selected stock file.
std::optional<ZrSelfSSData> ParseSelfSelect(const std::string& utf8Json);
// "SelfSelectStock_<group>.data" in the user's directory.
std::optional<ZrSelfSSData> ReadSelfSelectFile(const std::wstring& base, const std::string& userUtf8,
                                               const std::string& group);

} // namespace UserFiles
