#include "platform/Win32.h"

#include "logging/LightLogger.h"
#include "logging/LogSettings.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace {

void WriteText(const std::wstring& path, const std::string& text)
{
    std::ofstream(std::filesystem::path(path), std::ios::binary) << text;
}

std::string ReadText(const std::wstring& path)
{
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(LogSettings, DecisionMatrix)
{
    struct Case {
        const char* switchFile; // nullptr: no switch file
        int expected;
        int highLevel;
        int highToFile;
    } cases[] = {
        {nullptr, 2, 7, 1},
        {"[HighLogs]\r\nLogLevel=4\r\nLogToFile=1\r\n", 0, 4, 1},
        {"[HighLogs]\r\nLogLevel=5\r\nLogToFile=0\r\n", 1, 5, 0},
        {"[HighLogs]\r\nLogLevel=5\r\nLogToFile=1\r\n", 2, 5, 1},
        {"[HighLogs]\r\nLogLevel=9\r\nLogToFile=2\r\n", 1, 9, 2},
        {"[NormalLogs]\r\nLogLevel=9\r\nLogToFile=1\r\n", 0, 0, 0}, // channel 0 takes no part
        {"", 0, 0, 0},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::wstring switchFile = dir.Join(L"config.ini");
        if (c.switchFile)
            WriteText(switchFile, c.switchFile);
        LogSettings settings(switchFile, dir.Path());
        EXPECT_EQ(settings.decide(), c.expected) << (c.switchFile ? c.switchFile : "(none)");
        LogSettings::Channel high;
        ASSERT_TRUE(settings.ChannelOf(1, high));
        EXPECT_EQ(high.LogLevel, c.highLevel);
        EXPECT_EQ(high.LogToFile, c.highToFile);
        EXPECT_TRUE(DirectoryExists(dir.Join(L"Logs")));
    }
}

TEST(LogSettings, ChannelFilesComeFromLogConfig)
{
    TempDir dir;
    ::CreateDirectoryW(dir.Join(L"Data").c_str(), nullptr);
    ::CreateDirectoryW(dir.Join(L"Data\\Common").c_str(), nullptr);
    WriteText(dir.Join(L"Data\\Common\\LogConfig.ini"), "[config]\r\nhighName=high.log\r\ncommonName=common.log\r\n");

    LogSettings without(dir.Join(L"absent.ini"), dir.Path());
    without.decide();
    LogSettings::Channel channel;
    ASSERT_TRUE(without.ChannelOf(1, channel));
    EXPECT_EQ(channel.file, dir.Path() + L"\\Logs\\high.log");
    EXPECT_FALSE(without.ChannelOf(0, channel));

    // A directory named like the switch file is not a switch file.
    ::CreateDirectoryW(dir.Join(L"switchdir").c_str(), nullptr);
    LogSettings directory(dir.Join(L"switchdir"), dir.Path());
    EXPECT_EQ(directory.decide(), 2);

    WriteText(dir.Join(L"config.ini"), "[HighLogs]\r\nLogLevel=6\r\nLogToFile=1\r\n[NormalLogs]\r\nLogLevel=3\r\n");
    LogSettings with(dir.Join(L"config.ini"), dir.Path());
    EXPECT_EQ(with.decide(), 2);
    ASSERT_TRUE(with.ChannelOf(0, channel));
    EXPECT_EQ(channel.file, dir.Path() + L"\\Logs\\common.log");
    EXPECT_EQ(channel.LogLevel, 3);
}

TEST(LogSettings, LineFormat)
{
    const std::string line = formatLine("GetFileEncode FE_ANSI", "ZrLocalSelfSSHandler::GetSelfSSData",
                                        "d:/src/business/zrlocalselfsshandler", 36, 5);
    const std::regex shape(R"(\[\d{4}-\d{2}-\d{2} \d{2}-\d{2}-\d{2}-\d{3}\] >> \[L5\] )"
                           R"(\[ZrLocalSelfSSHandler::GetSelfSSData\] GetFileEncode FE_ANSI << )"
                           R"(\(SID:(\d+)\)\|zrlocalselfsshandler\(Line:36\)\]\r\n)");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, shape)) << line;
    EXPECT_EQ(std::stoul(match[1].str()), ::GetCurrentThreadId());

    EXPECT_NE(formatLine("m", "f", "a\\b\\c.cpp", 1, 5).find("|c.cpp(Line:1)]"), std::string::npos);
    // A message longer than any fixed buffer is kept whole.
    const std::string big(100000, 'x');
    EXPECT_NE(formatLine(big, "f", "s", 2, 5).find(big), std::string::npos);
}

TEST(LightLogger, AppendsLinesInOrderOnItsThread)
{
    // The process-wide settings: no switch file here, so channel 1 writes
    // into the executable's Logs folder.
    LogSettings& settings = LogSettings::Instance();
    ASSERT_EQ(settings.decide(), 2);
    LogSettings::Channel channel;
    ASSERT_TRUE(settings.ChannelOf(1, channel));
    std::wstring file = channel.file;
    if (file.empty() || file.back() == L'\\')
        file += L"VelTray.log";
    ::DeleteFileW(file.c_str());

    for (int i = 0; i < 200; ++i)
        write("line " + std::to_string(i) + "\r\n");
    write("");
    LightLogger::Flush();

    const std::string text = ReadText(file);
    std::string expected;
    for (int i = 0; i < 200; ++i)
        expected += "line " + std::to_string(i) + "\r\n";
    EXPECT_EQ(text, expected);
}
