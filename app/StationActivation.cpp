#include "platform/Win32.h"
#include "app/StationActivation.h"

#include "platform/DebugSink.h"
#include "platform/ScopedWin.h"
#include "platform/TextConv.h"
#include "platform/TrayIni.h"
#include "stationlink/StationIpcChannel.h"

#include <tlhelp32.h>

#include <algorithm>

#include <cstring>
#include <cwchar>

namespace {

constexpr size_t kMaxStationPath = 520;
constexpr DWORD kActivateTimeoutMs = 3000;
constexpr DWORD kJumpTimeoutMs = 1000;

struct WindowSearch {
    DWORD pid;
    std::vector<StationWindowCandidate> candidates;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM lParam)
{
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(hwnd, &owner);
    if (owner != search->pid || ::GetWindow(hwnd, GW_OWNER))
        return TRUE;
    if (::GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW)
        return TRUE;
    RECT rect;
    if (!::GetWindowRect(hwnd, &rect))
        return TRUE;
    search->candidates.push_back({hwnd, rect.right - rect.left, rect.bottom - rect.top, ::IsWindowVisible(hwnd) != FALSE});
    return TRUE;
}

} // namespace

DWORD FindStationProcess(const wchar_t* imageName)
{
    if (!imageName || !*imageName)
        return 0;
    ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL ok = ::Process32FirstW(snapshot.Get(), &entry); ok; ok = ::Process32NextW(snapshot.Get(), &entry)) {
        if (_wcsicmp(entry.szExeFile, imageName) == 0)
            return entry.th32ProcessID;
    }
    return 0;
}

DWORD FindAnyStationProcess()
{
    const DWORD pid = FindStationProcess(kStationAdvImage);
    return pid ? pid : FindStationProcess(kStationImage);
}

HWND ChooseStationWindow(const std::vector<StationWindowCandidate>& candidates)
{
    HWND best = nullptr;
    HWND bestVisible = nullptr;
    int64_t bestArea = 0;
    int64_t bestVisibleArea = 0;
    for (const auto& candidate : candidates) {
        const int64_t area = static_cast<int64_t>(candidate.width) * static_cast<int64_t>(candidate.height);
        if (area > bestArea) {
            bestArea = area;
            best = candidate.hwnd;
        }
        if (candidate.visible && area > bestVisibleArea) {
            bestVisibleArea = area;
            bestVisible = candidate.hwnd;
        }
    }
    return bestVisible ? bestVisible : best;
}

HWND FindStationWindow(DWORD pid)
{
    WindowSearch search{pid, {}};
    ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
    return ChooseStationWindow(search.candidates);
}

bool StationPath(const wchar_t* imageName, std::wstring& path, const std::wstring& baseDir)
{
    path.clear();
    std::wstring dir = baseDir.empty() ? ExecutableDirectory() : baseDir;
    if (dir.empty())
        return false;
    wchar_t full[kMaxStationPath] = {};
    const DWORD length = ::GetFullPathNameW(dir.c_str(), kMaxStationPath, full, nullptr);
    if (length == 0 || length >= kMaxStationPath)
        return false;
    dir = full;
    if (dir.back() != L'\\')
        dir += L'\\';
    dir += imageName;
    if (dir.size() >= kMaxStationPath)
        return false;
    path = std::move(dir);
    return true;
}

DWORD LaunchStation(const std::wstring& baseDir)
{
    for (const wchar_t* image : {kStationAdvImage, kStationImage}) {
        std::wstring path;
        if (!StationPath(image, path, baseDir))
            continue;
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        // The program's own directory, with its trailing backslash.
        const std::wstring directory = path.substr(0, path.find_last_of(L'\\') + 1);
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        if (!::CreateProcessW(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(), &startup,
                              &process))
            return 0;
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        return process.dwProcessId;
    }
    return 0;
}

bool BuildStockJumpUrl(int marketCode, const wchar_t* stockCode, wchar_t* buffer, size_t size)
{
    if (!buffer || size == 0)
        return false;
    buffer[0] = L'\0';
    if (!stockCode || !*stockCode)
        return false;
    const wchar_t* market = nullptr;
    switch (marketCode) {
    case 0: market = L"sz"; break;
    case 1: market = L"sh"; break;
    case 3: market = L"bj"; break;
    default: return false;
    }
    const std::wstring url =
        std::wstring(L"gw://funccall?funcname=OnGoFenshi;param0=") + market + L";param1=" + stockCode + L";";
    const size_t count = std::min(url.size(), size - 1);
    std::wmemcpy(buffer, url.data(), count);
    buffer[count] = L'\0';
    return true;
}

size_t CopyUtf8Field(const std::string& text, uint8_t* field, size_t size)
{
    if (!field || size == 0)
        return 0;
    size_t count = std::min(text.size(), size - 1);
    // Back off to the start of the character the cut would split.
    if (count < text.size()) {
        while (count > 0 && (static_cast<uint8_t>(text[count]) & 0xC0) == 0x80)
            --count;
    }
    std::memcpy(field, text.data(), count);
    field[count] = 0;
    return count;
}

void BuildJumpBuffer(const std::wstring& key, const std::wstring& url, uint8_t (&buffer)[kJumpBufferSize])
{
    std::memset(buffer, 0, sizeof(buffer));
    CopyUtf8Field(WideToUtf8(key), buffer, kJumpKeyField);
    CopyUtf8Field(WideToUtf8(url), buffer + kJumpKeyField, kJumpBufferSize - kJumpKeyField);
}

bool BringStationForward(StationIpcChannel& link, const std::wstring& baseDir)
{
    DWORD pid = FindAnyStationProcess();
    if (pid)
        ::AllowSetForegroundWindow(pid);

    bool sent = false;
    if (link.IsStarted())
        sent = link.SendPacket(kIpcCmdActivate, kIpcModeInline, nullptr, 0, kActivateTimeoutMs);

    pid = FindAnyStationProcess();
    HWND window = pid ? FindStationWindow(pid) : nullptr;
    if (window) {
        if (::IsIconic(window))
            ::ShowWindowAsync(window, SW_RESTORE);
        else if (!::IsWindowVisible(window))
            ::ShowWindowAsync(window, SW_SHOW);
        ::BringWindowToTop(window);
        if (!::SetForegroundWindow(window)) {
            ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            ::SetWindowPos(window, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
        return true;
    }
    if (sent || pid != 0)
        return true;
    if (LaunchStation(baseDir) != 0)
        return true;
    DebugOutput(L"[VelTray] launch station failed\n");
    return false;
}

void JumpToStation(StationIpcChannel& link, const TrayIni& trayIni, const std::wstring& key, const std::wstring& url,
                   bool launchOnly, const std::wstring& baseDir)
{
    if (link.IsPeerAlive()) {
        uint8_t buffer[kJumpBufferSize];
        BuildJumpBuffer(key, url, buffer);
        if (link.Send(kIpcCmdJump, buffer, static_cast<int32_t>(sizeof(buffer)), kJumpTimeoutMs))
            return;
        DebugOutput(L"[VelTray] ipc jump send failed, fallback to tray.ini\n");
    } else {
        DebugOutput(L"[VelTray] ipc peer not alive, jump falls back to tray.ini\n");
    }

    DWORD pid = FindAnyStationProcess();
    if (launchOnly && pid == 0) {
        LaunchStation(baseDir);
        return;
    }
    trayIni.WriteText(L"jumpkey", key);
    trayIni.WriteText(L"jumpurl", url);
    if (pid == 0)
        pid = LaunchStation(baseDir);
    trayIni.WriteInt(L"jumppid", static_cast<int>(pid));
    wchar_t line[160];
    std::swprintf(line, 160, L"[VelTray] jump stored to tray.ini, station pid=%lu\n", static_cast<unsigned long>(pid));
    DebugOutput(line);
}
