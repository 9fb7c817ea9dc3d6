#include "platform/Win32.h"

#include "app/BallSettings.h"
#include "app/StationActivation.h"
#include "platform/TextConv.h"
#include "platform/TrayIni.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

HWND FakeWindow(int n)
{
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000 + n));
}

} // namespace

TEST(BuildStockJumpUrl, MarketsCodesAndTruncation)
{
    struct Case {
        int market;
        const wchar_t* code;
        size_t size;
        bool ok;
        const wchar_t* url;
    };
    const Case cases[] = {
        {0, L"000001", 128, true, L"gw://funccall?funcname=OnGoFenshi;param0=sz;param1=000001;"},
        {1, L"600000", 128, true, L"gw://funccall?funcname=OnGoFenshi;param0=sh;param1=600000;"},
        {3, L"830799", 128, true, L"gw://funccall?funcname=OnGoFenshi;param0=bj;param1=830799;"},
        {0, L"000001", 20, true, L"gw://funccall?funcn"}, // cut to the buffer, still terminated
        {2, L"000001", 128, false, L""},
        {-1, L"000001", 128, false, L""},
        {0, L"", 128, false, L""},
        {0, nullptr, 128, false, L""},
    };
    for (const Case& c : cases) {
        wchar_t buffer[128];
        std::wmemset(buffer, L'x', 128);
        EXPECT_EQ(BuildStockJumpUrl(c.market, c.code, buffer, c.size), c.ok) << c.market;
        EXPECT_STREQ(buffer, c.url) << c.market << " size " << c.size;
    }
}

TEST(ChooseStationWindow, VisibleLargestFirstEqualsKeepTheFirst)
{
    struct Case {
        const char* name;
        std::vector<StationWindowCandidate> candidates;
        HWND expected;
    };
    const Case cases[] = {
        {"none", {}, nullptr},
        {"only empty windows", {{FakeWindow(1), 0, 500, true}, {FakeWindow(2), 300, 0, false}}, nullptr},
        {"visible beats a larger hidden one",
         {{FakeWindow(1), 2000, 2000, false}, {FakeWindow(2), 10, 10, true}},
         FakeWindow(2)},
        {"largest visible", {{FakeWindow(1), 100, 100, true}, {FakeWindow(2), 200, 100, true}}, FakeWindow(2)},
        {"equal areas keep the first", {{FakeWindow(1), 100, 200, true}, {FakeWindow(2), 200, 100, true}}, FakeWindow(1)},
        {"no visible: largest hidden", {{FakeWindow(1), 100, 100, false}, {FakeWindow(2), 300, 100, false}}, FakeWindow(2)},
        // Width times height in 64 bits: a 32-bit product would overflow negative.
        {"huge area", {{FakeWindow(1), 100, 100, true}, {FakeWindow(2), 70000, 70000, true}}, FakeWindow(2)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseStationWindow(c.candidates), c.expected) << c.name;
}

TEST(JumpBuffer, FieldsAreTerminatedAndCutAtCharacterBoundaries)
{
    const std::wstring key63(63, L'k');
    const std::wstring key64(64, L'k');
    // 21 three-byte characters are 63 bytes; one more would need 66.
    const std::wstring cjkKey = std::wstring(22, L'\x80a1');
    std::wstring longUrl = L"gw://x?";
    while (WideToUtf8(longUrl).size() < 1200)
        longUrl += L"\x80a1\x00e9z";
    struct Case {
        const char* name;
        std::wstring key;
        std::wstring url;
        size_t keyBytes;
    };
    const Case cases[] = {
        {"63-byte key fills its field", key63, L"u", 63},
        {"64-byte key is cut to 63", key64, L"u", 63},
        {"multi-byte key is cut before a split character", cjkKey, L"u", 63},
        {"empty key", L"", longUrl, 0},
    };
    for (const Case& c : cases) {
        uint8_t buffer[kJumpBufferSize];
        std::memset(buffer, 0xEE, sizeof(buffer));
        BuildJumpBuffer(c.key, c.url, buffer);
        const char* key = reinterpret_cast<const char*>(buffer);
        const char* url = key + kJumpKeyField;
        EXPECT_EQ(strnlen(key, 64), c.keyBytes) << c.name;
        EXPECT_EQ(buffer[63], 0) << c.name;
        EXPECT_EQ(buffer[1023], 0) << c.name;
        const std::string keyText(key, strnlen(key, 64));
        const std::string urlText(url, strnlen(url, 960));
        // Whatever was kept is a prefix of the original and valid UTF-8.
        EXPECT_EQ(WideToUtf8(c.key).compare(0, keyText.size(), keyText), 0) << c.name;
        EXPECT_EQ(WideToUtf8(c.url).compare(0, urlText.size(), urlText), 0) << c.name;
        EXPECT_EQ(WideToUtf8(Utf8ToWide(keyText)), keyText) << c.name;
        EXPECT_EQ(WideToUtf8(Utf8ToWide(urlText)), urlText) << c.name;
        EXPECT_LE(urlText.size(), 959u) << c.name;
        // The rest of each field is zero.
        for (size_t i = keyText.size(); i < 64; ++i)
            ASSERT_EQ(buffer[i], 0) << c.name << " key byte " << i;
        for (size_t i = 64 + urlText.size(); i < kJumpBufferSize; ++i)
            ASSERT_EQ(buffer[i], 0) << c.name << " url byte " << i;
    }
    uint8_t buffer[kJumpBufferSize];
    BuildJumpBuffer(L"k", longUrl, buffer);
    EXPECT_GE(strnlen(reinterpret_cast<const char*>(buffer) + 64, 960), 956u) << "a long URL keeps all whole characters";
}

TEST(StationPath, DirectoryAndLengthLimit)
{
    std::wstring path;
    ASSERT_TRUE(StationPath(L"VelStation.exe", path, L"C:\\inst"));
    EXPECT_EQ(path, L"C:\\inst\\VelStation.exe");
    ASSERT_TRUE(StationPath(L"VelStation.exe", path, L"C:\\inst\\"));
    EXPECT_EQ(path, L"C:\\inst\\VelStation.exe");
    const std::wstring deep = L"C:\\" + std::wstring(500, L'd');
    EXPECT_FALSE(StationPath(L"VelStationADV.exe", path, deep));
    EXPECT_TRUE(path.empty());
}

TEST(LaunchStation, AdvFirstAndTheSecondNameOnlyWhenTheFirstIsAbsent)
{
    TempDir dir;
    EXPECT_EQ(LaunchStation(dir.Path()), 0u) << "neither present";

    // A harmless program that ends by itself stands in for the plain name.
    wchar_t system[MAX_PATH];
    ::GetSystemDirectoryW(system, MAX_PATH);
    ASSERT_TRUE(::CopyFileW((std::wstring(system) + L"\\hostname.exe").c_str(), dir.Join(L"VelStation.exe").c_str(), FALSE));

    // An ADV file that cannot start (not a program) fails the launch; the
    // plain name is not tried.
    HANDLE file = ::CreateFileW(dir.Join(L"VelStationADV.exe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, "not a program", 13, &written, nullptr);
    ::CloseHandle(file);
    EXPECT_EQ(LaunchStation(dir.Path()), 0u);

    // A directory of the ADV name counts as absent: the plain name starts.
    ASSERT_TRUE(::DeleteFileW(dir.Join(L"VelStationADV.exe").c_str()));
    ASSERT_TRUE(::CreateDirectoryW(dir.Join(L"VelStationADV.exe").c_str(), nullptr));
    const DWORD pid = LaunchStation(dir.Path());
    EXPECT_NE(pid, 0u);
    if (HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid)) {
        ::WaitForSingleObject(process, 10000);
        ::CloseHandle(process);
    }
}

TEST(BallSettings, LoadDefaultsZeroTextAndSave)
{
    TempDir dir;
    const TrayIni ini(dir.Path());
    struct Case {
        const wchar_t* text; // nullptr: key absent
        bool expected;
    };
    // "ballsnap": default true; only exactly "0" is false.
    const Case cases[] = {{nullptr, true}, {L"", true}, {L"0", false}, {L"1", true}, {L"false", true}, {L"00", true}};
    for (const Case& c : cases) {
        ::WritePrivateProfileStringW(L"switch", L"ballsnap", c.text, ini.Path().c_str());
        BallSettings settings;
        settings.Load(ini);
        EXPECT_EQ(settings.values[BallSettings::kSnap], c.expected) << (c.text ? WideToUtf8(c.text) : "absent");
    }
    // A fresh file carries startup = 1, which Load reads as on.
    BallSettings fresh;
    fresh.Load(ini);
    EXPECT_TRUE(fresh.values[BallSettings::kStartup]);

    BallSettings saved;
    saved.values[BallSettings::kNotify] = false;
    saved.values[BallSettings::kStartup] = false;
    saved.Save(ini);
    EXPECT_EQ(ini.ReadText(L"ballnotify"), L"0");
    EXPECT_EQ(ini.ReadText(L"ballsound"), L"1");
    EXPECT_EQ(ini.ReadText(L"ballsnap"), L"1");
    EXPECT_EQ(ini.ReadText(L"startup"), L"0");
}

TEST(BallSettings, RunValueIsTheQuotedExecutableAndIsDeletedWhenOff)
{
    TempDir dir;
    const TrayIni ini(dir.Path());
    const auto readRun = [](std::wstring& value) {
        wchar_t data[1024] = {};
        DWORD size = sizeof(data);
        DWORD type = 0;
        HKEY key;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKeyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            return false;
        const LONG result = ::RegQueryValueExW(key, kRunValueName, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
        ::RegCloseKey(key);
        value = data;
        return result == ERROR_SUCCESS && type == REG_SZ;
    };
    BallSettings settings;
    settings.values[BallSettings::kStartup] = false;
    settings.Save(ini); // deleting a value that may never have existed is fine
    std::wstring value;
    EXPECT_FALSE(readRun(value));

    settings.values[BallSettings::kStartup] = true;
    settings.Save(ini);
    ASSERT_TRUE(readRun(value));
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    EXPECT_EQ(value, L"\"" + std::wstring(self) + L"\"");

    settings.values[BallSettings::kStartup] = false;
    settings.Save(ini);
    EXPECT_FALSE(readRun(value));
}
