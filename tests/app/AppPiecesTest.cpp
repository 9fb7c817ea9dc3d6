#include "platform/Win32.h"

#include "app/Startup.h"
#include "app/UiSlowWatch.h"
#include "platform/GuidText.h"
#include "platform/TrayIni.h"
#include "tests/support/DebugCaptureScope.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

namespace {

// A tick source that hands out a scripted pair: entry, then exit.
uint32_t g_ticks[2];
int g_tickCall;
uint32_t ScriptedTicks()
{
    return g_ticks[g_tickCall++ % 2];
}

std::vector<std::wstring> RunWatched(uint32_t entry, uint32_t exit)
{
    g_ticks[0] = entry;
    g_ticks[1] = exit;
    g_tickCall = 0;
    DebugCaptureScope capture;
    {
        UiSlowWatch watch("ResponseNotify", &ScriptedTicks);
    }
    return capture.Lines();
}

bool IsGuidShape(const char* text)
{
    static const int groups[] = {8, 4, 4, 4, 12};
    if (std::strlen(text) != 36)
        return false;
    const char* p = text;
    for (int g = 0; g < 5; ++g) {
        for (int i = 0; i < groups[g]; ++i, ++p) {
            if (!std::isxdigit(static_cast<unsigned char>(*p)) || std::isupper(static_cast<unsigned char>(*p)))
                return false;
        }
        if (g < 4 && *p++ != '-')
            return false;
    }
    return true;
}

HRESULT FailingGuid(GUID*)
{
    return E_FAIL;
}

HRESULT FixedGuid(GUID* guid)
{
    *guid = GUID{0x0A1B2C3D, 0x0E0F, 0xABCD, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    return S_OK;
}

} // namespace

TEST(UiSlowWatch, ReportsOnlyHandlersSlowerThan50ms)
{
    struct Case {
        uint32_t entry, exit;
        const wchar_t* expected; // nullptr: no line
    };
    const Case cases[] = {
        {1000, 1050, nullptr},
        {1000, 1051, L"[VelTray] UI slow 51ms: ResponseNotify\r\n"},
        {0xFFFFFFF0u, 0x30, L"[VelTray] UI slow 64ms: ResponseNotify\r\n"}, // across the tick wrap
        {0xFFFFFFF0u, 0x10, nullptr},
    };
    for (const auto& c : cases) {
        const auto lines = RunWatched(c.entry, c.exit);
        if (!c.expected) {
            EXPECT_TRUE(lines.empty()) << c.entry << " -> " << c.exit;
        } else {
            ASSERT_EQ(lines.size(), 1u) << c.entry << " -> " << c.exit;
            EXPECT_EQ(lines[0], c.expected);
        }
    }
}

TEST(MakeGuidText, BothFormsAreThirtySixLowerCaseHexDigitsInFiveGroups)
{
    char text[kGuidTextSize];
    MakeGuidText(text);
    EXPECT_TRUE(IsGuidShape(text)) << text;

    MakeGuidText(text, &FixedGuid);
    EXPECT_STREQ(text, "0a1b2c3d-0e0f-abcd-0123-456789abcdef");

    MakeGuidText(text, &FailingGuid);
    EXPECT_TRUE(IsGuidShape(text)) << text;
    char pid[8];
    std::snprintf(pid, sizeof(pid), "%04lx", static_cast<unsigned long>(::GetCurrentProcessId() & 0xFFFF));
    EXPECT_EQ(std::string(text + 9, 4), pid) << "the fallback's second group is the process id";
}

TEST(TrayIni, FirstOpenCreatesTheFileWithClosedownZeroAndStartupOne)
{
    TempDir dir;
    TrayIni ini(dir.Path());
    const std::wstring path = dir.Join(L"Data\\Common\\tray.ini");
    EXPECT_EQ(ini.Path(), path);
    EXPECT_TRUE(DirectoryExists(dir.Join(L"Data\\Common")));
    EXPECT_FALSE(FileExists(path)) << "forming the path creates only the folders";

    EXPECT_EQ(ini.ReadInt(L"closedown", 7), 0);
    EXPECT_TRUE(FileExists(path));
    EXPECT_EQ(ini.ReadInt(L"startup"), 1);
    EXPECT_EQ(ini.ReadInt(L"ballsnap", 1), 1) << "missing keys give the default";
}

TEST(TrayIni, ExistingValuesAreKeptAndWrittenAsDecimalText)
{
    TempDir dir;
    TrayIni ini(dir.Path());
    ASSERT_TRUE(ini.WriteInt(L"closedown", 1));
    ASSERT_TRUE(ini.WriteInt(L"jumppid", -42));
    ASSERT_TRUE(ini.WriteText(L"jumpurl", L"http://example.invalid/page?a=1&b=%E9%A1%B5"));

    TrayIni again(dir.Path());
    EXPECT_EQ(again.ReadInt(L"closedown"), 1);
    EXPECT_EQ(again.ReadInt(L"startup"), 1) << "created before the first write";
    EXPECT_EQ(again.ReadText(L"jumppid"), L"-42");
    EXPECT_EQ(again.ReadInt(L"jumppid"), -42);
    EXPECT_EQ(again.ReadText(L"jumpurl"), L"http://example.invalid/page?a=1&b=%E9%A1%B5");
}

TEST(Startup, FromPcAnywhereInTheCommandLineMarksAStationStart)
{
    struct Case {
        const wchar_t* line;
        bool expected;
    };
    const Case cases[] = {
        {L"VelTray.exe -frompc", true},
        {L"\"C:\\Vel\\VelTray.exe\" --x-frompc-y", true},
        {L"VelTray.exe -FROMPC", false},
        {L"VelTray.exe", false},
        {L"", false},
        {nullptr, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsStartedFromStation(c.line), c.expected) << (c.line ? c.line : L"(null)");
}
