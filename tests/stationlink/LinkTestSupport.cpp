#include "platform/Win32.h"
#include "tests/stationlink/LinkTestSupport.h"

#include <cstring>
#include <thread>

std::wstring g_velTrayExe;
std::wstring g_velStationExe;

void LinkRecorder::OnData(void* context, int32_t command, const void* data, int32_t length)
{
    auto* self = static_cast<LinkRecorder*>(context);
    Packet packet{command, {}, data != nullptr};
    if (data && length > 0)
        packet.data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + length);
    self->packets.push_back(std::move(packet));
}

void LinkRecorder::OnState(void* context, int32_t kind)
{
    static_cast<LinkRecorder*>(context)->states.push_back(kind);
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds bound)
{
    const auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
}

BlockView::BlockView()
{
    m_mapping.Reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(IpcStateBlock),
                                         L"Local\\VelStation.Ipc.State.v1"));
    if (m_mapping)
        m_block = static_cast<IpcStateBlock*>(::MapViewOfFile(m_mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(IpcStateBlock)));
}

BlockView::~BlockView()
{
    if (m_block)
        ::UnmapViewOfFile(m_block);
}

std::vector<uint8_t> PatternBytes(size_t count, unsigned seed)
{
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(i * 31 + seed);
    return bytes;
}

uint32_t Fnv1a(const std::vector<uint8_t>& data)
{
    uint32_t hash = 2166136261u;
    for (uint8_t byte : data) {
        hash ^= byte;
        hash *= 16777619u;
    }
    return hash;
}

std::string ReadTextFile(const std::wstring& path)
{
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string content;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        content.append(buffer, read);
    ::CloseHandle(file);
    return content;
}

bool WaitForFileText(const std::wstring& path, const std::string& fragment, std::chrono::milliseconds bound)
{
    return PumpUntil([&] { return ReadTextFile(path).find(fragment) != std::string::npos; }, bound);
}

TestProcess::~TestProcess()
{
    if (m_process && !WaitEnded(std::chrono::milliseconds(0)))
        Terminate();
}

bool TestProcess::Start(const std::wstring& exe, const std::wstring& arguments, const std::wstring& directory)
{
    std::wstring commandLine = L"\"" + exe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(),
                          &startup, &process))
        return false;
    ::CloseHandle(process.hThread);
    m_process.Reset(process.hProcess);
    m_pid = process.dwProcessId;
    return true;
}

void TestProcess::Adopt(DWORD pid)
{
    m_process.Reset(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    m_pid = pid;
}

bool TestProcess::WaitEnded(std::chrono::milliseconds bound) const
{
    return !m_process || ::WaitForSingleObject(m_process.Get(), static_cast<DWORD>(bound.count())) == WAIT_OBJECT_0;
}

void TestProcess::Terminate()
{
    if (m_process) {
        ::TerminateProcess(m_process.Get(), 99);
        ::WaitForSingleObject(m_process.Get(), 10000);
    }
}

std::wstring ExeDirectoryOf(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L'\\'));
}

bool StandInInstall::CopyStandIn(const wchar_t* name)
{
    return ::CopyFileW(g_velStationExe.c_str(), (m_dir + L"\\" + name).c_str(), FALSE) != FALSE;
}

bool StandInInstall::CopyVelTray()
{
    return ::CopyFileW(g_velTrayExe.c_str(), (m_dir + L"\\VelTray.exe").c_str(), FALSE) != FALSE;
}

bool StandInInstall::Control(const std::string& lines)
{
    const std::wstring target = m_dir + L"\\VelStation.ctl";
    const std::wstring staging = m_dir + L"\\VelStation.ctl.new";
    if (!PumpUntil([&] { return ::GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES; },
                   std::chrono::seconds(10)))
        return false;
    HANDLE file = ::CreateFileW(staging.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    ::WriteFile(file, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    ::CloseHandle(file);
    return ::MoveFileExW(staging.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

DWORD StandInInstall::WaitStandInPid(std::chrono::milliseconds bound) const
{
    if (!WaitForFileText(LogPath(), "start pid=", bound))
        return 0;
    const std::string log = ReadTextFile(LogPath());
    const size_t at = log.rfind("start pid=");
    return static_cast<DWORD>(std::strtoul(log.c_str() + at + 10, nullptr, 10));
}
