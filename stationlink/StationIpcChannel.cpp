#include "platform/Win32.h"
#include "stationlink/StationIpcChannel.h"

#include "platform/TextConv.h"

#include <process.h>

#include <atomic>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

constexpr wchar_t kInstanceMutexName[] = L"Local\\VelTray.Instance.v1";
constexpr wchar_t kLockName[] = L"Local\\VelStation.Ipc.Lock.v1";
constexpr wchar_t kBlockName[] = L"Local\\VelStation.Ipc.State.v1";
constexpr wchar_t kChangedName[] = L"Local\\VelStation.Ipc.Changed.v1";
constexpr wchar_t kInnerMessageName[] = L"VelStation.Ipc.Inner.v1";
constexpr wchar_t kRecvClassName[] = L"VelStationIpcRecvWnd";

std::atomic<ATOM> g_recvClass{0};
std::atomic<long> g_spillCounter{0};

// Window handles are 32-bit values on the wire; a 64-bit process sign-extends
// them back, as HandleToLong / LongToHandle do.
uint32_t WindowToSlot(HWND hwnd)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hwnd));
}

HWND SlotToWindow(uint32_t slot)
{
    return reinterpret_cast<HWND>(static_cast<intptr_t>(static_cast<int32_t>(slot)));
}

void CloseIfSet(HANDLE& handle)
{
    if (handle) {
        ::CloseHandle(handle);
        handle = nullptr;
    }
}

std::wstring ModuleDirectory()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    wchar_t* slash = std::wcsrchr(path, L'\\');
    if (!slash)
        return {};
    *slash = L'\0';
    return path;
}

bool IsDirectory(const wchar_t* path)
{
    const DWORD attributes = ::GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool AllDigits(const std::wstring& text, size_t from, size_t to)
{
    if (from >= to)
        return false;
    for (size_t i = from; i < to; ++i) {
        if (text[i] < L'0' || text[i] > L'9')
            return false;
    }
    return true;
}

} // namespace

bool IsAcceptableSpillPath(const std::wstring& path)
{
    // "X:\" and at least one character after it.
    if (path.size() < 4 || path[1] != L':' || path[2] != L'\\')
        return false;
    const wchar_t drive = path[0];
    if (!((drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z')))
        return false;
    if (path.find(L'/') != std::wstring::npos || path.find(L':', 2) != std::wstring::npos)
        return false; // alternate data streams and mixed separators
    const std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
    if (name.size() < 10 || _wcsnicmp(name.c_str(), L"ipc_", 4) != 0)
        return false;
    if (_wcsicmp(name.c_str() + name.size() - 4, L".tmp") != 0)
        return false;
    const size_t underscore = name.find(L'_', 4);
    if (underscore == std::wstring::npos)
        return false;
    return AllDigits(name, 4, underscore) && AllDigits(name, underscore + 1, name.size() - 4);
}

const wchar_t* StationIpcChannel::SpillFolderName(int32_t role)
{
    return role == kIpcRoleStation ? L"stationmsg" : L"traymsg";
}

StationIpcChannel::~StationIpcChannel()
{
    Stop();
}

bool StationIpcChannel::Start(DataCallback data, StateCallback state, void* context) noexcept
{
    return StartAs(kIpcRoleTray, data, state, context);
}

bool StationIpcChannel::Lock() const
{
    if (!m_lock)
        return false;
    const DWORD result = ::WaitForSingleObject(m_lock, kLockTimeoutMs);
    if (result == WAIT_ABANDONED) {
        // Its owner died mid-access; the block may be half written. The
        // access is skipped, and the mutex we now own is handed back.
        ::ReleaseMutex(m_lock);
        return false;
    }
    return result == WAIT_OBJECT_0;
}

void StationIpcChannel::Unlock() const
{
    ::ReleaseMutex(m_lock);
}

uint32_t* StationIpcChannel::OwnWindowSlot()
{
    return m_side == kIpcRoleStation ? &m_block->stationWindow : &m_block->trayWindow;
}

uint32_t* StationIpcChannel::OwnProcessSlot()
{
    return m_side == kIpcRoleStation ? &m_block->stationProcess : &m_block->trayProcess;
}

uint32_t StationIpcChannel::PeerProcessSlot() const
{
    return m_side == kIpcRoleStation ? m_block->trayProcess : m_block->stationProcess;
}

uint32_t StationIpcChannel::PeerWindowSlot() const
{
    return m_side == kIpcRoleStation ? m_block->trayWindow : m_block->stationWindow;
}

bool StationIpcChannel::StartAs(int32_t role, DataCallback data, StateCallback state, void* context) noexcept
{
    if (role != kIpcRoleTray && role != kIpcRoleStation)
        return false;
    if (m_role != kIpcRoleNone || m_side != kIpcRoleNone || m_recvWnd || m_block)
        return false;

    m_side = role;
    m_dataCallback = data;
    m_stateCallback = state;
    m_context = context;

    if (role == kIpcRoleTray) {
        m_instanceMutex = ::CreateMutexW(nullptr, TRUE, kInstanceMutexName);
        if (!m_instanceMutex || ::GetLastError() == ERROR_ALREADY_EXISTS) {
            Stop();
            return false;
        }
    }

    m_lock = ::CreateMutexW(nullptr, FALSE, kLockName);
    if (m_lock)
        m_mapping = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(IpcStateBlock),
                                         kBlockName);
    if (m_mapping)
        m_block = static_cast<IpcStateBlock*>(::MapViewOfFile(m_mapping, FILE_MAP_ALL_ACCESS, 0, 0,
                                                              sizeof(IpcStateBlock)));
    if (m_block)
        m_changeEvent = ::CreateEventW(nullptr, FALSE, FALSE, kChangedName);
    if (m_changeEvent)
        m_innerMessage = ::RegisterWindowMessageW(kInnerMessageName);
    if (!m_innerMessage) {
        Stop();
        return false;
    }

    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (!g_recvClass.load()) {
        WNDCLASSEXW wc{sizeof(wc)};
        wc.lpfnWndProc = &StationIpcChannel::WindowProc;
        wc.hInstance = instance;
        wc.lpszClassName = kRecvClassName;
        const ATOM atom = ::RegisterClassExW(&wc);
        if (atom)
            g_recvClass.store(atom);
        else if (::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
            Stop();
            return false;
        }
    }
    m_recvWnd = ::CreateWindowExW(WS_EX_TOOLWINDOW, kRecvClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  instance, this);
    if (!m_recvWnd) {
        Stop();
        return false;
    }

    if (!Lock()) {
        Stop();
        return false;
    }
    bool signal = false;
    if (m_block->signature == kIpcSignature && m_block->version == kIpcVersion) {
        // A predecessor that ended without Stop left its slots behind.
        *OwnWindowSlot() = 0;
        *OwnProcessSlot() = 0;
        ++m_block->sequence;
        signal = true;
    } else {
        std::memset(m_block, 0, sizeof(IpcStateBlock));
        m_block->signature = kIpcSignature;
        m_block->version = kIpcVersion;
        m_block->sequence = 1;
        m_block->size = sizeof(IpcStateBlock);
    }
    Unlock();
    if (signal)
        ::SetEvent(m_changeEvent);

    m_role = role;

    if (Lock()) {
        ++m_block->sequence;
        *OwnWindowSlot() = WindowToSlot(m_recvWnd);
        *OwnProcessSlot() = ::GetCurrentProcessId();
        Unlock();
        ::SetEvent(m_changeEvent);
    }

    PrepareSpillFolder();

    if (WatchPeer())
        PostState(kIpcStatePeerFound);

    m_stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (m_stopEvent)
        m_watcherThread = reinterpret_cast<HANDLE>(
            _beginthreadex(nullptr, 0, &StationIpcChannel::WatcherMain, this, 0, nullptr));
    if (!m_watcherThread) {
        Stop();
        return false;
    }
    return true;
}

void StationIpcChannel::Stop() noexcept
{
    if (m_watcherThread) {
        if (m_stopEvent)
            ::SetEvent(m_stopEvent);
        if (::WaitForSingleObject(m_watcherThread, kStopTimeoutMs) != WAIT_OBJECT_0)
            ::TerminateThread(m_watcherThread, 1);
        CloseIfSet(m_watcherThread);
    }
    if (m_block) {
        if (m_role != kIpcRoleNone && Lock()) {
            // Only our own publication is withdrawn; nothing is signalled.
            if (*OwnProcessSlot() == ::GetCurrentProcessId()) {
                *OwnWindowSlot() = 0;
                *OwnProcessSlot() = 0;
            }
            Unlock();
        }
        ::UnmapViewOfFile(m_block);
        m_block = nullptr;
    }
    if (m_recvWnd) {
        ::SetWindowLongPtrW(m_recvWnd, GWLP_USERDATA, 0);
        ::DestroyWindow(m_recvWnd);
        m_recvWnd = nullptr;
    }
    CloseIfSet(m_peerProcess);
    CloseIfSet(m_changeEvent);
    CloseIfSet(m_stopEvent);
    CloseIfSet(m_lock);
    CloseIfSet(m_mapping);
    if (m_instanceMutex) {
        ::ReleaseMutex(m_instanceMutex);
        CloseIfSet(m_instanceMutex);
    }
    m_peerProcessId = 0;
    m_role = kIpcRoleNone;
    m_side = kIpcRoleNone;
    m_dataCallback = nullptr;
    m_stateCallback = nullptr;
    m_context = nullptr;
    m_innerMessage = 0;
    m_spillFolder[0] = L'\0';
}

bool StationIpcChannel::ReadBlock(IpcStateBlock& out) const noexcept
{
    if (!m_block || !Lock())
        return false;
    std::memcpy(&out, m_block, sizeof(out));
    Unlock();
    return true;
}

void StationIpcChannel::PrepareSpillFolder()
{
    m_spillFolder[0] = L'\0';
    const std::wstring base = ModuleDirectory();
    if (base.empty())
        return;
    wchar_t folder[MAX_PATH] = {};
    const int written = std::swprintf(folder, MAX_PATH, L"%ls\\%ls\\%ls", base.c_str(), L"Data",
                                      SpillFolderName(m_side));
    if (written <= 0 || written >= MAX_PATH)
        return;

    // Whatever a previous run left behind is stale: its receivers are gone.
    WIN32_FIND_DATAW found;
    const std::wstring pattern = std::wstring(folder) + L"\\*";
    HANDLE find = ::FindFirstFileW(pattern.c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                ::DeleteFileW((std::wstring(folder) + L"\\" + found.cFileName).c_str());
        } while (::FindNextFileW(find, &found));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(folder);

    std::wstring path = folder;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] == L'\\' && i > 0 && path[i - 1] != L':')
            ::CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    }
    ::CreateDirectoryW(folder, nullptr);
    if (IsDirectory(folder))
        std::wcscpy(m_spillFolder, folder);
}

bool StationIpcChannel::WatchPeer()
{
    if (m_peerProcess || !m_block)
        return false;
    IpcStateBlock copy;
    if (!ReadBlock(copy))
        return false;
    const DWORD pid = m_side == kIpcRoleStation ? copy.trayProcess : copy.stationProcess;
    if (pid == 0)
        return false;
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process)
        return false;
    if (::WaitForSingleObject(process, 0) != WAIT_TIMEOUT) {
        ::CloseHandle(process);
        return false;
    }
    m_peerProcess = process;
    m_peerProcessId = pid;
    return true;
}

bool StationIpcChannel::IsPeerAlive() const noexcept
{
    if (!m_block || !Lock())
        return false;
    const DWORD pid = PeerProcessSlot();
    Unlock();
    if (pid == 0)
        return false;
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process)
        return false;
    const bool alive = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return alive;
}

void StationIpcChannel::PostState(int32_t kind)
{
    if (m_recvWnd && m_innerMessage)
        ::PostMessageW(m_recvWnd, m_innerMessage, static_cast<WPARAM>(kind), 0);
}

unsigned __stdcall StationIpcChannel::WatcherMain(void* self)
{
    static_cast<StationIpcChannel*>(self)->WatcherLoop();
    return 0;
}

void StationIpcChannel::WatcherLoop()
{
    for (;;) {
        HANDLE handles[3] = {m_stopEvent, m_changeEvent, m_peerProcess};
        const DWORD count = m_peerProcess ? 3 : 2;
        const DWORD result = ::WaitForMultipleObjects(count, handles, FALSE, m_peerProcess ? INFINITE : kPollMs);
        if (result == WAIT_TIMEOUT) {
            if (WatchPeer())
                PostState(kIpcStatePeerFound);
        } else if (result == WAIT_OBJECT_0) {
            return;
        } else if (result == WAIT_OBJECT_0 + 1) {
            if (WatchPeer())
                PostState(kIpcStatePeerFound);
            PostState(kIpcStateChanged);
        } else if (result == WAIT_OBJECT_0 + 2 && count == 3) {
            const DWORD pid = m_peerProcessId;
            m_peerProcessId = 0;
            CloseIfSet(m_peerProcess);
            if (Lock()) {
                // Withdraw the dead peer's publication, unless a new instance
                // already took the slots over.
                uint32_t* processSlot = m_side == kIpcRoleStation ? &m_block->trayProcess : &m_block->stationProcess;
                uint32_t* windowSlot = m_side == kIpcRoleStation ? &m_block->trayWindow : &m_block->stationWindow;
                if (*processSlot == pid) {
                    *processSlot = 0;
                    *windowSlot = 0;
                }
                Unlock();
            }
            PostState(kIpcStatePeerEnded);
        } else {
            return;
        }
    }
}

bool StationIpcChannel::SendPacket(int32_t command, int32_t mode, const void* data, int32_t length,
                                   DWORD timeoutMs) noexcept
{
    if (!m_block || length < 0 || length > static_cast<int32_t>(kIpcPayloadSize) || (length > 0 && !data))
        return false;
    if (!Lock())
        return false;
    HWND peer = SlotToWindow(PeerWindowSlot());
    Unlock();
    if (!peer || !::IsWindow(peer))
        return false;

    IpcPacket packet{};
    packet.signature = kIpcSignature;
    packet.command = command;
    packet.mode = mode;
    packet.length = length;
    if (length > 0)
        std::memcpy(packet.payload, data, static_cast<size_t>(length));
    COPYDATASTRUCT copy{};
    copy.dwData = 0;
    copy.cbData = sizeof(packet);
    copy.lpData = &packet;
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutW(peer, WM_COPYDATA, reinterpret_cast<WPARAM>(m_recvWnd),
                                 reinterpret_cast<LPARAM>(&copy), SMTO_NORMAL, timeoutMs, &result) != 0;
}

bool StationIpcChannel::Send(int32_t command, const void* data, int32_t length, DWORD timeoutMs) noexcept
{
    if (m_role == kIpcRoleNone || !m_block || !m_recvWnd || length < 0 || (length > 0 && !data))
        return false;
    if (length <= static_cast<int32_t>(kIpcPayloadSize))
        return SendPacket(command, kIpcModeInline, data, length, timeoutMs);

    if (m_spillFolder[0] == L'\0')
        return false;
    const long counter = ++g_spillCounter;
    wchar_t path[MAX_PATH] = {};
    const int written = std::swprintf(path, MAX_PATH, L"%ls\\ipc_%lu_%ld.tmp", m_spillFolder,
                                      static_cast<unsigned long>(::GetCurrentProcessId()), counter);
    if (written <= 0 || written >= MAX_PATH)
        return false;
    HANDLE file = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD done = 0;
    const BOOL ok = ::WriteFile(file, data, static_cast<DWORD>(length), &done, nullptr);
    ::CloseHandle(file);
    if (!ok || done != static_cast<DWORD>(length)) {
        ::DeleteFileW(path);
        return false;
    }
    const std::string utf8 = WideToUtf8(path);
    if (utf8.empty() || utf8.size() + 1 > kIpcPayloadSize) {
        ::DeleteFileW(path);
        return false;
    }
    if (!SendPacket(command, kIpcModeSpill, utf8.c_str(), static_cast<int32_t>(utf8.size() + 1), timeoutMs)) {
        ::DeleteFileW(path);
        return false;
    }
    return true;
}

LRESULT CALLBACK StationIpcChannel::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    auto* self = reinterpret_cast<StationIpcChannel*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_COPYDATA)
        return self->OnCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    if (self->m_innerMessage && message == self->m_innerMessage) {
        if (self->m_stateCallback)
            self->m_stateCallback(self->m_context, static_cast<int32_t>(wParam));
        return 0;
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT StationIpcChannel::OnCopyData(const COPYDATASTRUCT* copy)
{
    if (!copy || copy->cbData != sizeof(IpcPacket) || !copy->lpData)
        return 0;
    // The system hands us its own copy; still read it once into ours.
    IpcPacket packet;
    std::memcpy(&packet, copy->lpData, sizeof(packet));
    if (packet.signature != kIpcSignature || packet.length < 0 ||
        packet.length > static_cast<int32_t>(kIpcPayloadSize) || packet.mode < 0 || packet.mode > kIpcModeSpill)
        return 0;
    if (!m_dataCallback)
        return 1;
    if (packet.mode == kIpcModeSpill && packet.length > 0) {
        DeliverSpill(packet);
        return 1;
    }
    m_dataCallback(m_context, packet.command, packet.length > 0 ? packet.payload : nullptr, packet.length);
    return 1;
}

void StationIpcChannel::DeliverSpill(const IpcPacket& packet)
{
    const char* bytes = reinterpret_cast<const char*>(packet.payload);
    const size_t used = strnlen(bytes, static_cast<size_t>(packet.length));
    std::wstring path = Utf8ToWide(std::string_view(bytes, used));
    if (path.size() > MAX_PATH - 1)
        path.resize(MAX_PATH - 1);
    if (path.empty() || !IsAcceptableSpillPath(path))
        return;

    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT))
        return;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ::DeleteFileW(path.c_str());
        return;
    }
    LARGE_INTEGER size{};
    if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size) || size.QuadPart < 0 ||
        size.QuadPart > static_cast<LONGLONG>(kMaxSpillBytes)) {
        ::CloseHandle(file);
        ::DeleteFileW(path.c_str());
        return;
    }
    std::vector<uint8_t> data(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    const BOOL ok = data.empty() || ::ReadFile(file, data.data(), static_cast<DWORD>(data.size()), &read, nullptr);
    ::CloseHandle(file);
    ::DeleteFileW(path.c_str());
    if (!ok || read != data.size())
        return;
    m_dataCallback(m_context, packet.command, data.empty() ? nullptr : data.data(), static_cast<int32_t>(data.size()));
}
