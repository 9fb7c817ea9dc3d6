#include "platform/Win32.h"

#include "business/UserFiles.h"
#include "logging/LightLogger.h"
#include "logging/LogSettings.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
}

std::string ReadBytes(const std::wstring& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string RecordFile(int32_t count, size_t recordSize, size_t records, char fill = 0)
{
    std::string bytes(527, '\0');
    std::memcpy(&bytes[523], &count, 4);
    for (size_t i = 0; i < records; ++i)
        bytes += std::string(recordSize, static_cast<char>(fill + i));
    return bytes;
}

} // namespace

TEST(UserFiles, RecordFileSizeRules)
{
    TempDir dir;
    const std::wstring path = dir.Join(L"UserInfo.data");
    struct Case {
        std::string bytes;
        bool ok;
    } cases[] = {
        {RecordFile(2, 3582, 2, 'a'), true},
        {RecordFile(2, 3582, 2, 'a') + "x", false}, // one byte more
        {RecordFile(2, 3582, 1, 'a'), false},
        {RecordFile(1, 3582, 1, 'a'), true},
        {RecordFile(0, 3582, 0), false},
        {RecordFile(-1, 3582, 0), false},
        {RecordFile(0x7fffffff, 3582, 1), false},
        {std::string(100, 'h'), false}, // shorter than the header
        {std::string(), false},
    };
    for (const Case& c : cases) {
        WriteBytes(path, c.bytes);
        RecordFileHeader header{};
        std::vector<uint8_t> records;
        EXPECT_EQ(UserFiles::ReadRecordFile(path, 3582, header, records), c.ok) << c.bytes.size();
        if (c.ok) {
            EXPECT_EQ(records.size(), static_cast<size_t>(header.count) * 3582);
            EXPECT_EQ(records[0], 'a');
        } else {
            EXPECT_TRUE(records.empty());
        }
    }
    RecordFileHeader header{};
    std::vector<uint8_t> records;
    EXPECT_FALSE(UserFiles::ReadRecordFile(dir.Join(L"missing.data"), 3582, header, records));

    // Opened without sharing: a file another handle holds cannot be read.
    WriteBytes(path, RecordFile(1, 3582, 1, 'a'));
    HANDLE held = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(UserFiles::ReadRecordFile(path, 3582, header, records));
    ::CloseHandle(held);
    EXPECT_TRUE(UserFiles::ReadRecordFile(path, 3582, header, records));
}

TEST(UserFiles, UserRecordsFillTheFirstRecordOnly)
{
    TempDir dir;
    ::CreateDirectoryW(dir.Join(L"Data").c_str(), nullptr);
    ::CreateDirectoryW(dir.Join(L"Data\\Common").c_str(), nullptr);
    UserRecord user{};
    std::wcscpy(user.nickname, L"小明");
    std::strcpy(user.token, "tok");
    std::memset(user.distinctId, 'd', sizeof(user.distinctId)); // no terminator inside the array
    UserRecord second{};
    std::wcscpy(second.nickname, L"second");
    std::string bytes = RecordFile(2, 0, 0);
    bytes.append(reinterpret_cast<const char*>(&user), sizeof(user));
    bytes.append(reinterpret_cast<const char*>(&second), sizeof(second));
    WriteBytes(dir.Join(L"Data\\Common\\UserInfo.data"), bytes);
    // The second file has the wrong size and is ignored.
    WriteBytes(dir.Join(L"Data\\Common\\UserInfoV2.data"), RecordFile(1, 1022, 1, 'u') + "zz");

    UserRecord first;
    UserRecordV2 v2;
    std::memset(&v2, 'x', sizeof(v2));
    UserFiles::ReadUserRecords(dir.Path(), first, v2);
    EXPECT_EQ(UserFiles::FieldWide(first.nickname, 256), L"小明");
    EXPECT_EQ(UserFiles::FieldText(first.token, sizeof(first.token)), "tok");
    EXPECT_EQ(UserFiles::FieldText(first.distinctId, sizeof(first.distinctId)), std::string(127, 'd'));
    EXPECT_EQ(UserFiles::FieldText(v2.username, sizeof(v2.username)), "");
}

TEST(UserFiles, Directories)
{
    TempDir dir;
    EXPECT_EQ(UserFiles::UserDirectory(dir.Path(), ""), dir.Path() + L"\\Data\\Common\\guest\\");
    EXPECT_TRUE(DirectoryExists(dir.Join(L"Data\\Common\\guest")));
    EXPECT_EQ(UserFiles::UserDirectory(dir.Path(), "张三"), dir.Path() + L"\\Data\\Common\\张三\\");
    EXPECT_TRUE(DirectoryExists(dir.Join(L"Data\\Common\\张三")));
    EXPECT_TRUE(DirectoryExists(UserFiles::FileDirectory(dir.Path())));
    EXPECT_TRUE(DirectoryExists(UserFiles::DownloadDirectory(dir.Path())));
}

TEST(UserFiles, EncodingDecision)
{
    EXPECT_TRUE(UserFiles::IsAnsiText("{\"a\":1}"));
    EXPECT_FALSE(UserFiles::IsAnsiText("{\"a\":\"\xe4\xb8\xad\"}"));      // UTF-8 with a high byte
    EXPECT_TRUE(UserFiles::IsAnsiText("{\"a\":\"\xd6\xd0\"}"));          // GBK bytes are not UTF-8
    EXPECT_TRUE(UserFiles::IsAnsiText("\xe4\xb8"));                      // truncated sequence
    EXPECT_TRUE(UserFiles::IsAnsiText("\xc0\x80"));                      // overlong
    EXPECT_TRUE(UserFiles::IsAnsiText("\xed\xa0\x80"));                  // surrogate
    EXPECT_FALSE(UserFiles::IsAnsiText("\xEF\xBB\xBF{}"));
    EXPECT_FALSE(UserFiles::IsAnsiText(std::string("\xFF\xFE{\0", 4)));
    EXPECT_TRUE(UserFiles::IsAnsiText(""));
}

TEST(UserFiles, SelfSelectFile)
{
    TempDir dir;
    const std::wstring userDir = UserFiles::UserDirectory(dir.Path(), "trader");
    const std::wstring file = userDir + L"SelfSelectStock_System.data";

    EXPECT_FALSE(UserFiles::ReadSelfSelectFile(dir.Path(), "trader", "System"));
    WriteBytes(file, "");
    EXPECT_FALSE(UserFiles::ReadSelfSelectFile(dir.Path(), "trader", "System"));

    const std::string utf8 = R"({"code":0,"message":"成功","data":[
        {"id":5,"groupId":9,"groupName":"我的自选","groupType":0,"ver":3,"sort":2,"isDisplay":1,"isDefault":0,
         "stockList":[{"securityMarket":"sh","securityNo":"600000","securityName":"浦发银行","optionalPrice":7.25,
                       "createTime":1700000000123,"isTop":1}, 5, "x"]},
        {"id":null,"groupId":9,"groupName":"b","stockList":{}},
        {"groupName":"c"},
        42
    ]})";
    WriteBytes(file, utf8);
    auto data = UserFiles::ReadSelfSelectFile(dir.Path(), "trader", "System");
    ASSERT_TRUE(data);
    EXPECT_EQ(data->message, L"成功");
    ASSERT_EQ(data->groups.size(), 3u);
    const ZrSelfSSGroup& first = data->groups[0];
    EXPECT_EQ(first.groupId, 5) << "\"id\" wins over \"groupId\"";
    EXPECT_EQ(first.groupName, "我的自选");
    EXPECT_EQ(first.ver, 3);
    EXPECT_EQ(first.sort, 2);
    EXPECT_TRUE(first.isDisplay);
    EXPECT_FALSE(first.isDefault);
    ASSERT_EQ(first.stocks.size(), 1u);
    EXPECT_EQ(first.stocks[0].securityName, "浦发银行");
    EXPECT_DOUBLE_EQ(first.stocks[0].optionalPrice, 7.25);
    EXPECT_EQ(first.stocks[0].createTime, 1700000000123LL);
    EXPECT_EQ(first.stocks[0].isTop, 1);
    EXPECT_EQ(data->groups[1].groupId, 9) << "a null \"id\" falls back to \"groupId\"";
    EXPECT_TRUE(data->groups[1].stocks.empty());
    EXPECT_EQ(data->groups[2].ver, -1);
    EXPECT_EQ(data->groups[2].groupType, 0);

    const std::string bad[] = {"{", "[1,2]", "null", "\"text\"", std::string(200000, '['), "{\"data\":" + std::string(5000, '[')};
    for (const std::string& bytes : bad) {
        WriteBytes(file, bytes);
        EXPECT_FALSE(UserFiles::ReadSelfSelectFile(dir.Path(), "trader", "System")) << bytes.substr(0, 16);
    }
}

TEST(UserFiles, AnsiFileIsConvertedAndLogged)
{
    TempDir dir;
    const std::wstring file = UserFiles::UserDirectory(dir.Path(), "") + L"SelfSelectStock_System.data";

    LogSettings& settings = LogSettings::Instance();
    LogSettings::Channel channel;
    ASSERT_EQ(settings.decide(), 2) << "no switch file in the test prefix";
    ASSERT_TRUE(settings.ChannelOf(1, channel));
    std::wstring log = channel.file;
    if (log.empty() || log.back() == L'\\')
        log += L"VelTray.log";
    ::DeleteFileW(log.c_str());

    WriteBytes(file, R"({"code":0,"data":[{"id":1,"groupName":"ascii","stockList":[]}]})");
    auto ascii = UserFiles::ReadSelfSelectFile(dir.Path(), "", "System");
    ASSERT_TRUE(ascii);
    EXPECT_EQ(ascii->groups.at(0).groupName, "ascii");
    LightLogger::Flush();
    const std::string logged = ReadBytes(log);
    EXPECT_NE(logged.find("GetFileEncode FE_ANSI"), std::string::npos);
    EXPECT_NE(logged.find("[L5] [ZrLocalSelfSSHandler::GetSelfSSData]"), std::string::npos);
    EXPECT_NE(logged.find("|zrlocalselfsshandler(Line:36)]"), std::string::npos);

    ::DeleteFileW(log.c_str());
    WriteBytes(file, "{\"data\":[{\"id\":1,\"groupName\":\"\xe4\xb8\xad\xe6\x96\x87\"}]}");
    auto utf8 = UserFiles::ReadSelfSelectFile(dir.Path(), "", "System");
    ASSERT_TRUE(utf8);
    EXPECT_EQ(utf8->groups.at(0).groupName, "中文");
    LightLogger::Flush();
    EXPECT_EQ(ReadBytes(log).find("FE_ANSI"), std::string::npos) << "UTF-8 is used as it is";

    // UTF-8 and UTF-16 files with a byte-order mark.
    WriteBytes(file, "\xEF\xBB\xBF{\"data\":[{\"groupName\":\"\xe4\xb8\xad\"}]}");
    ASSERT_TRUE(UserFiles::ReadSelfSelectFile(dir.Path(), "", "System"));
    const std::u16string wide = u"{\"data\":[{\"groupName\":\"中\"}]}";
    std::string utf16("\xFF\xFE", 2);
    utf16.append(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    WriteBytes(file, utf16);
    auto fromUtf16 = UserFiles::ReadSelfSelectFile(dir.Path(), "", "System");
    ASSERT_TRUE(fromUtf16);
    EXPECT_EQ(fromUtf16->groups.at(0).groupName, "中");
}
