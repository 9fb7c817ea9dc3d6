// Development tool: drives a running VelTray from scripts.
//   velctl close [timeout-ms]   posts WM_CLOSE to VelTray's main dialog and
//                               waits for the process to end; exit code 0 when
//                               it ended with code 0.
//   velctl pid                  prints the process id of the running VelTray.
#include "platform/Win32.h"
#include "platform/ScopedWin.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

DWORD FindVelTrayProcess()
{
    ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return 0;
    PROCESSENTRY32W entry{sizeof(entry)};
    for (BOOL ok = ::Process32FirstW(snapshot.Get(), &entry); ok; ok = ::Process32NextW(snapshot.Get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, L"VelTray.exe") == 0)
            return entry.th32ProcessID;
    }
    return 0;
}

HWND FindMainDialog(DWORD pid)
{
    HWND found = nullptr;
    for (HWND hwnd = ::FindWindowExW(nullptr, nullptr, L"#32770", nullptr); hwnd;
         hwnd = ::FindWindowExW(nullptr, hwnd, L"#32770", nullptr)) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(hwnd, &owner);
        if (owner == pid) {
            found = hwnd;
            break;
        }
    }
    return found;
}

int Close(DWORD timeoutMs)
{
    const DWORD pid = FindVelTrayProcess();
    if (!pid) {
        std::fprintf(stderr, "velctl: VelTray is not running\n");
        return 2;
    }
    ScopedHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    HWND dialog = FindMainDialog(pid);
    if (!process || !dialog || !::PostMessageW(dialog, WM_CLOSE, 0, 0)) {
        std::fprintf(stderr, "velctl: cannot reach VelTray's main dialog\n");
        return 2;
    }
    const DWORD start = ::GetTickCount();
    if (::WaitForSingleObject(process.Get(), timeoutMs) != WAIT_OBJECT_0) {
        std::fprintf(stderr, "velctl: VelTray still runs after %lu ms\n", static_cast<unsigned long>(timeoutMs));
        return 1;
    }
    DWORD code = 1;
    ::GetExitCodeProcess(process.Get(), &code);
    std::printf("VelTray exited with code %lu, %lu ms after WM_CLOSE\n", static_cast<unsigned long>(code),
                static_cast<unsigned long>(::GetTickCount() - start));
    return code == 0 ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring verb = argc > 1 ? argv[1] : L"";
    if (verb == L"close")
        return Close(argc > 2 ? static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)) : 5000);
    if (verb == L"pid") {
        const DWORD pid = FindVelTrayProcess();
        std::printf("%lu\n", static_cast<unsigned long>(pid));
        return pid ? 0 : 2;
    }
    std::fprintf(stderr, "usage: velctl close [timeout-ms] | pid\n");
    return 2;
}
