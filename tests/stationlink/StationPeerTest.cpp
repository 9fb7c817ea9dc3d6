// Two real processes: this test program or VelTray.exe on the tray side, the
// VelStation stand-in on the station side.
#include "platform/Win32.h"

#include <shellapi.h>

#include "app/AppMessages.h"
#include "app/BallSettings.h"
#include "app/StationActivation.h"
#include "platform/TextConv.h"
#include "platform/TrayIni.h"
#include "tests/stationlink/LinkTestSupport.h"
#include "tests/support/DbWinMonitor.h"
#include "tests/support/ProcessWindows.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using namespace std::chrono_literals;

namespace {

constexpr auto kStartBound = 30s;

size_t IndexOf(const std::vector<std::string>& lines, const std::string& fragment)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(fragment) != std::string::npos)
            return i;
    }
    return lines.size();
}

bool Contains(const std::vector<std::string>& lines, const std::string& fragment)
{
    return IndexOf(lines, fragment) < lines.size();
}

// Ends a stand-in the way a user would, so it withdraws its slots.
void EndStandIn(StandInInstall& install, TestProcess& standIn)
{
    if (standIn.WaitEnded(0ms))
        return;
    install.Control("exit\n");
    if (!standIn.WaitEnded(10s))
        standIn.Terminate();
}

void CloseVelTray(TestProcess& velTray)
{
    if (HWND dialog = FindMainDialog(velTray.Pid()))
        ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    if (!velTray.WaitEnded(15s))
        velTray.Terminate();
}

std::wstring RunValue()
{
    wchar_t data[1024] = {};
    DWORD size = sizeof(data);
    HKEY key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKeyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return {};
    const LONG result = ::RegQueryValueExW(key, kRunValueName, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    ::RegCloseKey(key);
    return result == ERROR_SUCCESS ? data : L"";
}

class StationPeer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(g_velStationExe.empty()) << "pass --velstation=PATH";
        ASSERT_EQ(FindAnyStationProcess(), 0u) << "a VelStation from elsewhere is running";
    }

    TempDir dir;
    StandInInstall install{dir.Path()};
    LinkRecorder recorder;
    StationIpcChannel tray;
};

} // namespace

TEST_F(StationPeer, PublishedStationIsFoundBeforeAnyChangeAndItsEndIsNoticed)
{
    ASSERT_TRUE(install.CopyStandIn());
    TestProcess standIn;
    ASSERT_TRUE(standIn.Start(dir.Join(L"VelStation.exe"), L"", dir.Path()));
    ASSERT_EQ(install.WaitStandInPid(kStartBound), standIn.Pid());

    ASSERT_TRUE(tray.Start(&LinkRecorder::OnData, &LinkRecorder::OnState, &recorder));
    ASSERT_TRUE(PumpUntil([&] { return !recorder.states.empty(); }, 10s));
    EXPECT_EQ(recorder.states.front(), kIpcStatePeerFound) << "3 comes right after the start, before any 1";
    EXPECT_TRUE(tray.IsPeerAlive());

    // The stand-in hears of the tray through its own watcher.
    EXPECT_TRUE(WaitForFileText(install.LogPath(), "state 3", 10s));

    // It dies without withdrawing: the tray side notices and clears its slots.
    ASSERT_TRUE(install.Control("die\n"));
    ASSERT_TRUE(standIn.WaitEnded(10s));
    ASSERT_TRUE(PumpUntil([&] { return std::count(recorder.states.begin(), recorder.states.end(), kIpcStatePeerEnded) > 0; }, 10s));
    IpcStateBlock block;
    ASSERT_TRUE(tray.ReadBlock(block));
    EXPECT_EQ(block.stationProcess, 0u);
    EXPECT_EQ(block.stationWindow, 0u);
    EXPECT_FALSE(tray.IsPeerAlive());
}

TEST_F(StationPeer, PayloadsCrossBothWaysInlineAndThroughSpillFiles)
{
    ASSERT_TRUE(install.CopyStandIn());
    TestProcess standIn;
    ASSERT_TRUE(standIn.Start(dir.Join(L"VelStation.exe"), L"", dir.Path()));
    ASSERT_NE(install.WaitStandInPid(kStartBound), 0u);
    ASSERT_TRUE(tray.Start(&LinkRecorder::OnData, &LinkRecorder::OnState, &recorder));

    for (size_t size : {size_t(1024), size_t(1025), size_t(300000)}) {
        const std::vector<uint8_t> data = PatternBytes(size, 11);
        ASSERT_TRUE(tray.Send(77, data.data(), static_cast<int32_t>(size), 3000)) << size;
        char expected[64];
        std::snprintf(expected, sizeof(expected), "recv 77 len=%zu fnv=%08x", size, static_cast<unsigned>(Fnv1a(data)));
        EXPECT_TRUE(WaitForFileText(install.LogPath(), expected, 10s)) << expected;
    }
    WIN32_FIND_DATAW found;
    HANDLE find = ::FindFirstFileW((std::wstring(tray.SpillFolder()) + L"\\*.tmp").c_str(), &found);
    EXPECT_EQ(find, INVALID_HANDLE_VALUE) << "the receiver deletes spill files";
    if (find != INVALID_HANDLE_VALUE)
        ::FindClose(find);

    ASSERT_TRUE(install.Control("sendbytes 78 1024\nsendbytes 79 1025\n"));
    ASSERT_TRUE(PumpUntil([&] { return recorder.packets.size() >= 2; }, 10s));
    EXPECT_EQ(recorder.packets[0].command, 78);
    EXPECT_EQ(recorder.packets[0].data, PatternBytes(1024));
    EXPECT_EQ(recorder.packets[1].command, 79);
    EXPECT_EQ(recorder.packets[1].data, PatternBytes(1025));
    EndStandIn(install, standIn);
}

TEST_F(StationPeer, JumpReachesTheStationWithKeyAndUrlIntact)
{
    ASSERT_TRUE(install.CopyStandIn());
    TestProcess standIn;
    ASSERT_TRUE(standIn.Start(dir.Join(L"VelStation.exe"), L"", dir.Path()));
    ASSERT_NE(install.WaitStandInPid(kStartBound), 0u);
    ASSERT_TRUE(tray.Start(&LinkRecorder::OnData, &LinkRecorder::OnState, &recorder));

    const std::wstring key(63, L'k');
    std::wstring url = L"gw://funccall?funcname=OnGoFenshi;param0=sz;param1=000001;";
    while (WideToUtf8(url).size() < 1000)
        url += L"\x6c6a"; // three UTF-8 bytes each
    // 959 bytes of room: the URL keeps its prefix and whole characters only.
    const std::string urlUtf8 = WideToUtf8(url);
    size_t kept = 959;
    while ((static_cast<uint8_t>(urlUtf8[kept]) & 0xC0) == 0x80)
        --kept;
    const TrayIni ini(dir.Path());
    JumpToStation(tray, ini, key, url, false, dir.Path());
    const std::string expected = "recv 5 jump keylen=63 urllen=" + std::to_string(kept) + " key=" + WideToUtf8(key) +
                                 " url=" + urlUtf8.substr(0, kept) + "\n";
    EXPECT_TRUE(WaitForFileText(install.LogPath(), expected, 10s)) << ReadTextFile(install.LogPath());
    EXPECT_EQ(ini.ReadText(L"jumpkey"), L"") << "a delivered jump leaves tray.ini alone";
    EndStandIn(install, standIn);
}

TEST_F(StationPeer, WithoutPeerTheJumpLandsInTrayIniWithTheLaunchedProcess)
{
    ASSERT_TRUE(install.CopyStandIn());
    ASSERT_TRUE(tray.Start(&LinkRecorder::OnData, &LinkRecorder::OnState, &recorder));
    const TrayIni ini(dir.Path());
    JumpToStation(tray, ini, L"yd", L"gw://page?id=1", false, dir.Path());

    TestProcess launched;
    const DWORD pid = install.WaitStandInPid(kStartBound);
    ASSERT_NE(pid, 0u) << "the jump launched VelStation";
    launched.Adopt(pid);
    EXPECT_EQ(ini.ReadText(L"jumpkey"), L"yd");
    EXPECT_EQ(ini.ReadText(L"jumpurl"), L"gw://page?id=1");
    EXPECT_EQ(static_cast<DWORD>(ini.ReadInt(L"jumppid")), pid);
    EndStandIn(install, launched);
}

TEST_F(StationPeer, LaunchOnlyStartsTheStationAndLeavesTrayIniAlone)
{
    ASSERT_TRUE(install.CopyStandIn());
    ASSERT_TRUE(tray.Start(&LinkRecorder::OnData, &LinkRecorder::OnState, &recorder));
    const TrayIni ini(dir.Path());
    JumpToStation(tray, ini, L"login", L"gw://login", true, dir.Path());

    TestProcess launched;
    const DWORD pid = install.WaitStandInPid(kStartBound);
    ASSERT_NE(pid, 0u);
    launched.Adopt(pid);
    EXPECT_EQ(ini.ReadText(L"jumpkey", L"absent"), L"absent");
    EXPECT_EQ(ini.ReadText(L"jumppid", L"absent"), L"absent");
    EndStandIn(install, launched);
}

TEST_F(StationPeer, WithBothNamesRunningTheAdvProcessTakesTheJump)
{
    ASSERT_TRUE(install.CopyStandIn(L"VelStation.exe"));
    ASSERT_TRUE(install.CopyStandIn(L"VelStationADV.exe"));
    TestProcess plain;
    ASSERT_TRUE(plain.Start(dir.Join(L"VelStation.exe"), L"--log plain.log", dir.Path()));
    TestProcess adv;
    ASSERT_TRUE(adv.Start(dir.Join(L"VelStationADV.exe"), L"--log adv.log", dir.Path()));
    ASSERT_TRUE(WaitForFileText(dir.Join(L"plain.log"), "start pid=", kStartBound));
    ASSERT_TRUE(WaitForFileText(dir.Join(L"adv.log"), "start pid=", kStartBound));
    EXPECT_EQ(FindAnyStationProcess(), adv.Pid());

    // The link is down (never started): the jump goes to tray.ini, naming
    // the ADV process, and nothing new is launched.
    const TrayIni ini(dir.Path());
    JumpToStation(tray, ini, L"yd", L"gw://page", false, dir.Path());
    EXPECT_EQ(static_cast<DWORD>(ini.ReadInt(L"jumppid")), adv.Pid());
    EXPECT_FALSE(FileExists(install.LogPath())) << "no third stand-in was started";
    plain.Terminate();
    adv.Terminate();
}

// The whole program on the tray side.
class VelTrayWithStation : public StationPeer {
protected:
    void SetUp() override
    {
        StationPeer::SetUp();
        ASSERT_FALSE(g_velTrayExe.empty()) << "pass --veltray=PATH";
        ASSERT_TRUE(monitor.Ok());
        ASSERT_TRUE(install.CopyVelTray());
    }

    // Every VelTray start mirrors startup = 1 into the Run key; a prefix that
    // keeps the value would start a vanished VelTray at its next boot.
    void TearDown() override
    {
        HKEY key;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kRunKeyPath, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            ::RegDeleteValueW(key, kRunValueName);
            ::RegCloseKey(key);
        }
    }

    bool StartVelTray(TestProcess& velTray)
    {
        return velTray.Start(dir.Join(L"VelTray.exe"), L"", dir.Path()) &&
               monitor.WaitForLine(velTray.Pid(), "[VelTray] main dialog ready", kStartBound);
    }

    DbWinMonitor monitor;
};

TEST_F(VelTrayWithStation, SecondVelTrayClosesItselfAndTheFirstIsUntouched)
{
    TestProcess first;
    ASSERT_TRUE(StartVelTray(first));
    TestProcess second;
    ASSERT_TRUE(second.Start(dir.Join(L"VelTray.exe"), L"", dir.Path()));
    EXPECT_TRUE(monitor.WaitForLine(second.Pid(), "[VelTray] ipc server start failed: already running", kStartBound));
    ASSERT_TRUE(second.WaitEnded(15s)) << "the second VelTray did not close itself";
    DWORD exitCode = 1;
    ::GetExitCodeProcess(second.Handle(), &exitCode);
    EXPECT_EQ(exitCode, 0u);

    EXPECT_FALSE(first.WaitEnded(0ms));
    HWND dialog = FindMainDialog(first.Pid());
    EXPECT_NE(dialog, nullptr);
    BlockView block;
    EXPECT_EQ(block->trayProcess, first.Pid()) << "the second one did not disturb the first's publication";
    EXPECT_FALSE(Contains(monitor.Lines(first.Pid()), "main dialog closing"));
    CloseVelTray(first);
}

TEST_F(VelTrayWithStation, PublishedStationGivesStationEnterAndItsEndStationExit)
{
    // Under another name, so that the start-up process check does not see
    // it: only the link's notification 3 can tell VelTray.
    ASSERT_TRUE(install.CopyStandIn(L"StationPeer.exe"));
    TestProcess standIn;
    ASSERT_TRUE(standIn.Start(dir.Join(L"StationPeer.exe"), L"", dir.Path()));
    ASSERT_NE(install.WaitStandInPid(kStartBound), 0u);

    TestProcess velTray;
    ASSERT_TRUE(StartVelTray(velTray));
    ASSERT_TRUE(monitor.WaitForLine(velTray.Pid(), "[VelTray] station enter -> tray push disconnect", 10s));
    auto lines = monitor.Lines(velTray.Pid());
    EXPECT_LT(IndexOf(lines, "station enter"), IndexOf(lines, "ipc state changed")) << "3 before any change event";

    ASSERT_TRUE(install.Control("die\n"));
    EXPECT_TRUE(monitor.WaitForLine(velTray.Pid(), "[VelTray] station exit -> tray push reconnect", 10s));
    BlockView block;
    EXPECT_EQ(block->stationProcess, 0u);
    CloseVelTray(velTray);
}

TEST_F(VelTrayWithStation, StationCommandsFollowTheirValueRules)
{
    ASSERT_TRUE(install.CopyStandIn());
    TestProcess standIn;
    ASSERT_TRUE(standIn.Start(dir.Join(L"VelStation.exe"), L"", dir.Path()));
    ASSERT_NE(install.WaitStandInPid(kStartBound), 0u);
    TestProcess velTray;
    ASSERT_TRUE(StartVelTray(velTray));
    const DWORD pid = velTray.Pid();
    const TrayIni ini(dir.Path());
    ASSERT_EQ(ini.ReadText(L"closedown"), L"0");
    ASSERT_EQ(ini.ReadText(L"startup"), L"1");

    // Without their value 6 and 7 are ignored, and so is 9 with one word.
    ASSERT_TRUE(install.Control("send 6\nsend 7\nsend 9 5\nsend 9 1 2\n"));
    ASSERT_TRUE(monitor.WaitForLine(pid, "[VelTray] station notify code=1 param=2", 10s));
    auto lines = monitor.Lines(pid);
    EXPECT_FALSE(Contains(lines, "ball closed by station"));
    EXPECT_FALSE(Contains(lines, "ball reopen by station"));
    EXPECT_FALSE(Contains(lines, "code=5"));
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.find("auto-start") != std::string::npos; }), 1)
        << "only the start-up's own";

    ASSERT_TRUE(install.Control("send 6 1\nsend 7 0\n"));
    ASSERT_TRUE(monitor.WaitForLine(pid, "[VelTray] auto-start off", 10s));
    EXPECT_TRUE(Contains(monitor.Lines(pid), "[VelTray] ball closed by station: closedown=1"));
    EXPECT_EQ(ini.ReadText(L"closedown"), L"1");
    EXPECT_EQ(ini.ReadText(L"startup"), L"0");
    EXPECT_EQ(RunValue(), L"");

    ASSERT_TRUE(install.Control("send 6 0\nsend 7 1\nsend 4\nsend 8\n"));
    EXPECT_TRUE(monitor.WaitForLine(pid, "[VelTray] refresh done", 10s)) << "reload ends in the refresh-done message";
    lines = monitor.Lines(pid);
    EXPECT_TRUE(Contains(lines, "[VelTray] ipc state changed"));
    EXPECT_TRUE(Contains(lines, "[VelTray] station reload requested"));
    EXPECT_EQ(ini.ReadText(L"closedown"), L"0");
    EXPECT_EQ(ini.ReadText(L"startup"), L"1");
    wchar_t full[MAX_PATH];
    ::GetFullPathNameW(dir.Join(L"VelTray.exe").c_str(), MAX_PATH, full, nullptr);
    std::wstring runValue = RunValue();
    std::transform(runValue.begin(), runValue.end(), runValue.begin(), ::towlower);
    std::wstring expected = L"\"" + std::wstring(full) + L"\"";
    std::transform(expected.begin(), expected.end(), expected.begin(), ::towlower);
    EXPECT_EQ(runValue, expected);

    CloseVelTray(velTray);
    EXPECT_TRUE(WaitForFileText(install.LogPath(), "state 2", 10s)) << "the stand-in saw VelTray go";
    EndStandIn(install, standIn);
}

TEST_F(VelTrayWithStation, OpenStationLaunchesItThenActivatesIt)
{
    ASSERT_TRUE(install.CopyStandIn());
    TestProcess velTray;
    ASSERT_TRUE(StartVelTray(velTray));
    HWND dialog = FindMainDialog(velTray.Pid());
    ASSERT_NE(dialog, nullptr);

    ASSERT_TRUE(::PostMessageW(dialog, kOpenStationMessage, 0, 0));
    TestProcess launched;
    const DWORD pid = install.WaitStandInPid(kStartBound);
    ASSERT_NE(pid, 0u) << "VelTray launched VelStation";
    launched.Adopt(pid);
    EXPECT_TRUE(monitor.WaitForLine(velTray.Pid(), "[VelTray] station enter", 10s));

    ASSERT_TRUE(::PostMessageW(dialog, kOpenStationMessage, 0, 0));
    EXPECT_TRUE(WaitForFileText(install.LogPath(), "recv 1 activate", 10s));
    EXPECT_EQ(FindStationProcess(L"VelStation.exe"), pid) << "activated, not launched again";

    CloseVelTray(velTray);
    EndStandIn(install, launched);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    int wargc = 0;
    LPWSTR* wargv = ::CommandLineToArgvW(::GetCommandLineW(), &wargc);
    for (int i = 1; wargv && i < wargc; ++i) {
        std::wstring arg = wargv[i];
        std::wstring* target = nullptr;
        if (arg.rfind(L"--veltray=", 0) == 0)
            target = &g_velTrayExe;
        else if (arg.rfind(L"--velstation=", 0) == 0)
            target = &g_velStationExe;
        if (!target)
            continue;
        arg = arg.substr(arg.find(L'=') + 1);
        // CTest passes Unix paths; Wine maps the root to drive Z:.
        if (!arg.empty() && arg[0] == L'/') {
            std::replace(arg.begin(), arg.end(), L'/', L'\\');
            arg = L"Z:" + arg;
        }
        *target = arg;
    }
    ::LocalFree(wargv);
    return RUN_ALL_TESTS();
}
