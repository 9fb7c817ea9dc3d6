// Measures the station link end to end: this program is the tray side, the
// VelStation stand-in (started from the given path) the station side. Each
// send is synchronous, so one figure is a whole delivery: packet, the
// receiver's handling (spill file read and deleted, its log line written)
// and the return.
//   link-bench.exe PATH\VelStation.exe [ROUNDS]
#include "platform/Win32.h"

#include "platform/ScopedWin.h"
#include "stationlink/StationIpcChannel.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void Pump()
{
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        ::DispatchMessageW(&msg);
}

double Ms(LONGLONG ticks, LONGLONG frequency)
{
    return 1000.0 * static_cast<double>(ticks) / static_cast<double>(frequency);
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: link-bench PATH\\VelStation.exe [ROUNDS]\n");
        return 2;
    }
    const std::wstring standIn = argv[1];
    const int rounds = argc > 2 ? std::max(1, _wtoi(argv[2])) : 300;
    const std::wstring dir = standIn.substr(0, standIn.find_last_of(L'\\'));

    StationIpcChannel tray;
    if (!tray.Start(nullptr, nullptr, nullptr)) {
        std::fprintf(stderr, "tray side did not start (another VelTray?)\n");
        return 1;
    }
    std::wstring commandLine = L"\"" + standIn + L"\" --log \"" + dir + L"\\link-bench-station.log\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(standIn.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(),
                          &startup, &process)) {
        std::fprintf(stderr, "cannot start the stand-in\n");
        return 1;
    }
    ScopedHandle processHandle(process.hProcess);
    ScopedHandle threadHandle(process.hThread);
    for (int i = 0; i < 300 && !tray.IsPeerAlive(); ++i) {
        Pump();
        ::Sleep(100);
    }
    if (!tray.IsPeerAlive()) {
        std::fprintf(stderr, "the stand-in did not publish itself\n");
        ::TerminateProcess(processHandle.Get(), 1);
        return 1;
    }

    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    std::printf("rounds per size: %d\n", rounds);
    std::printf("%10s %12s %12s %12s\n", "bytes", "median ms", "p95 ms", "max ms");
    int failures = 0;
    for (int size : {4, 1024, 1025, 65536, 1048576}) {
        std::vector<uint8_t> payload(static_cast<size_t>(size), 0x5a);
        std::vector<LONGLONG> ticks;
        for (int round = 0; round < rounds; ++round) {
            LARGE_INTEGER start, end;
            ::QueryPerformanceCounter(&start);
            const bool ok = tray.Send(77, payload.data(), size, 3000);
            ::QueryPerformanceCounter(&end);
            if (!ok)
                ++failures;
            ticks.push_back(end.QuadPart - start.QuadPart);
            Pump();
        }
        std::sort(ticks.begin(), ticks.end());
        std::printf("%10d %12.3f %12.3f %12.3f\n", size, Ms(ticks[ticks.size() / 2], frequency.QuadPart),
                    Ms(ticks[ticks.size() * 95 / 100], frequency.QuadPart), Ms(ticks.back(), frequency.QuadPart));
    }
    std::printf("failed sends: %d\n", failures);

    ::TerminateProcess(processHandle.Get(), 0);
    ::WaitForSingleObject(processHandle.Get(), 5000);
    return failures == 0 ? 0 : 1;
}
