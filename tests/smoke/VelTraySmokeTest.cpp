#include "platform/Win32.h"

#include <shellapi.h>

#include "tests/support/DbWinMonitor.h"
#include "tests/support/ProcessWindows.h"
#include "tests/support/SandboxPorts.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

// The path of VelTray.exe, given on the command line by CTest.
std::wstring g_velTrayExe;

namespace {

using namespace std::chrono_literals;

size_t IndexOf(const std::vector<std::string>& lines, const std::string& fragment)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(fragment) != std::string::npos)
            return i;
    }
    return lines.size();
}

} // namespace

TEST(VelTraySmoke, RunsItsCoreAndExitsCleanlyOnWmClose)
{
    ASSERT_FALSE(g_velTrayExe.empty()) << "pass the path of VelTray.exe";
    DbWinMonitor monitor;
    ASSERT_TRUE(monitor.Ok());

    TempDir install;
    const std::wstring exe = install.Join(L"VelTray.exe");
    ASSERT_TRUE(::CopyFileW(g_velTrayExe.c_str(), exe.c_str(), FALSE)) << "copy from " << g_velTrayExe;

    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{sizeof(startup)};
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 install.Path().c_str(), &startup, &process));
    ScopedHandle processHandle(process.hProcess);
    ScopedHandle threadHandle(process.hThread);
    const DWORD pid = process.dwProcessId;

    EXPECT_TRUE(monitor.WaitForLine(pid, "[VelTray] main dialog ready", 20s));
    EXPECT_TRUE(monitor.WaitForLine(pid, "[Business] timer tick running", 10s));
    // The heartbeat timer has a 30 s period.
    EXPECT_TRUE(monitor.WaitForLine(pid, "[Business] heartbeat", 45s));
    EXPECT_TRUE(FileExists(install.Join(L"Data\\Common\\tray.ini"))) << "start-up reads the switch file";

    HWND dialog = FindMainDialog(pid);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(::IsWindowVisible(dialog)) << "the main dialog is never shown";

    const auto closed = std::chrono::steady_clock::now();
    ASSERT_TRUE(::PostMessageW(dialog, WM_CLOSE, 0, 0));
    const DWORD wait = ::WaitForSingleObject(processHandle.Get(), 10000);
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - closed);
    if (wait != WAIT_OBJECT_0)
        ::TerminateProcess(processHandle.Get(), 99);
    ASSERT_EQ(wait, WAIT_OBJECT_0) << "VelTray did not exit after WM_CLOSE";
    std::printf("exit took %lld ms after WM_CLOSE\n", static_cast<long long>(elapsed.count()));
    EXPECT_LT(elapsed.count(), 2000);

    DWORD exitCode = 1;
    ::GetExitCodeProcess(processHandle.Get(), &exitCode);
    EXPECT_EQ(exitCode, 0u);

    // Shut-down order: the dialog's destruction first, the business core last.
    monitor.WaitForLine(pid, "[VelTray] business core stopped", 2s);
    const auto lines = monitor.Lines(pid);
    const size_t closing = IndexOf(lines, "[VelTray] main dialog closing");
    const size_t stopped = IndexOf(lines, "[VelTray] business core stopped");
    EXPECT_LT(closing, lines.size());
    EXPECT_LT(stopped, lines.size());
    EXPECT_LT(closing, stopped);
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    int wargc = 0;
    LPWSTR* wargv = ::CommandLineToArgvW(::GetCommandLineW(), &wargc);
    for (int i = 1; wargv && i < wargc; ++i) {
        std::wstring arg = wargv[i];
        if (arg.rfind(L"--", 0) == 0)
            continue;
        // CTest passes a Unix path.
        g_velTrayExe = WinePathFromUnix(arg);
    }
    ::LocalFree(wargv);
    return RUN_ALL_TESTS();
}
