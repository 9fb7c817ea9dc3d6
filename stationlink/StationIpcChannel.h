#pragma once
#include "platform/Win32.h"

#include "stationlink/IpcLayout.h"

#include <cstdint>
#include <string>

// One side of the local channel between VelTray (role 1) and VelStation
// (role 2): named kernel objects, the shared block in which each side
// publishes its receive window and process id, and WM_COPYDATA packets.
// Everything but the watcher thread runs on the thread that called Start; both
// callbacks run there too.
class StationIpcChannel {
public:
    using DataCallback = void (*)(void* context, int32_t command, const void* data, int32_t length);
    using StateCallback = void (*)(void* context, int32_t kind);

    static constexpr DWORD kLockTimeoutMs = 5000;
    static constexpr DWORD kStopTimeoutMs = 3000;
    static constexpr DWORD kPollMs = 2000;
    // A received spill file larger than this is dropped: nothing VelTray and
    // VelStation exchange comes near it, and the read happens on the UI thread.
    static constexpr DWORD kMaxSpillBytes = 16u * 1024 * 1024;

    StationIpcChannel() = default;
    ~StationIpcChannel();
    StationIpcChannel(const StationIpcChannel&) = delete;
    StationIpcChannel& operator=(const StationIpcChannel&) = delete;

    // The tray side. False when already started or when another VelTray holds
    // the single-instance mutex (or anything else fails).
    [[nodiscard]] bool Start(DataCallback data, StateCallback state, void* context) noexcept;
    // Either side; the station side takes no single-instance mutex (that is
    // VelStation's own business) and uses the spill folder Data\stationmsg.
    [[nodiscard]] bool StartAs(int32_t role, DataCallback data, StateCallback state, void* context) noexcept;
    void Stop() noexcept;

    [[nodiscard]] bool Send(int32_t command, const void* data, int32_t length, DWORD timeoutMs) noexcept;
    [[nodiscard]] bool SendPacket(int32_t command, int32_t mode, const void* data, int32_t length,
                                  DWORD timeoutMs) noexcept;
    [[nodiscard]] bool IsPeerAlive() const noexcept;

    int32_t Role() const { return m_role; }
    bool IsStarted() const { return m_role != kIpcRoleNone && m_block && m_recvWnd; }
    HWND ReceiveWindow() const { return m_recvWnd; }
    const wchar_t* SpillFolder() const { return m_spillFolder; }
    // A copy of the block, read under the lock; false when it cannot be read.
    [[nodiscard]] bool ReadBlock(IpcStateBlock& out) const noexcept;

    // The spill folder's name below Data for a role.
    static const wchar_t* SpillFolderName(int32_t role);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static unsigned __stdcall WatcherMain(void* self);

    LRESULT OnCopyData(const COPYDATASTRUCT* copy);
    void DeliverSpill(const IpcPacket& packet);
    void WatcherLoop();
    bool WatchPeer();
    void PostState(int32_t kind);
    void PrepareSpillFolder();

    bool Lock() const;
    void Unlock() const;
    uint32_t* OwnWindowSlot();
    uint32_t* OwnProcessSlot();
    uint32_t PeerProcessSlot() const;
    uint32_t PeerWindowSlot() const;

    int32_t m_role = kIpcRoleNone;
    int32_t m_side = kIpcRoleNone; // set from the first step of Start, m_role once published
    DataCallback m_dataCallback = nullptr;
    StateCallback m_stateCallback = nullptr;
    void* m_context = nullptr;
    HANDLE m_instanceMutex = nullptr;
    HANDLE m_mapping = nullptr;
    HANDLE m_lock = nullptr;
    HANDLE m_changeEvent = nullptr;
    HANDLE m_stopEvent = nullptr;
    HANDLE m_peerProcess = nullptr;
    HANDLE m_watcherThread = nullptr;
    IpcStateBlock* m_block = nullptr;
    HWND m_recvWnd = nullptr;
    UINT m_innerMessage = 0;
    DWORD m_peerProcessId = 0;
    wchar_t m_spillFolder[MAX_PATH] = {};
};

// True when a received spill path may be opened and deleted: an absolute
// drive path (no UNC or device namespace) whose file name has the form
// ipc_<digits>_<digits>.tmp that both sides give their spill files. Anything
// else is dropped untouched, so a packet cannot make VelTray read a device or
// delete an arbitrary file.
bool IsAcceptableSpillPath(const std::wstring& path);
