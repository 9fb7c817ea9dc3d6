#pragma once
#include "platform/Win32.h"
#include "platform/ScopedWin.h"

#include "stationlink/StationIpcChannel.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Paths of the programs under test, from the command line.
extern std::wstring g_velTrayExe;
extern std::wstring g_velStationExe;

// Records what a channel hands to its callbacks.
struct LinkRecorder {
    struct Packet {
        int32_t command;
        std::vector<uint8_t> data;
        bool hadData;
    };
    std::vector<Packet> packets;
    std::vector<int32_t> states;

    static void OnData(void* context, int32_t command, const void* data, int32_t length);
    static void OnState(void* context, int32_t kind);
};

// Dispatches this thread's messages until done() or the bound passes.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds bound);

// The shared block as the kernel holds it; keeps it alive while held.
class BlockView {
public:
    BlockView(); // creates or opens
    ~BlockView();
    IpcStateBlock* operator->() { return m_block; }
    IpcStateBlock* Get() { return m_block; }

private:
    ScopedHandle m_mapping;
    IpcStateBlock* m_block = nullptr;
};

std::vector<uint8_t> PatternBytes(size_t count, unsigned seed = 7);
uint32_t Fnv1a(const std::vector<uint8_t>& data);
std::string ReadTextFile(const std::wstring& path);
bool WaitForFileText(const std::wstring& path, const std::string& fragment, std::chrono::milliseconds bound);

// A program started by a test; ended (and waited for) when the test is done.
class TestProcess {
public:
    TestProcess() = default;
    ~TestProcess();
    bool Start(const std::wstring& exe, const std::wstring& arguments, const std::wstring& directory);
    void Adopt(DWORD pid); // a process someone else started for us
    DWORD Pid() const { return m_pid; }
    HANDLE Handle() const { return m_process.Get(); }
    bool WaitEnded(std::chrono::milliseconds bound) const;
    void Terminate();

private:
    ScopedHandle m_process;
    DWORD m_pid = 0;
};

// A sample installation in a temporary folder: the stand-in (under a given
// name) and optionally VelTray, driven through the stand-in's control file.
class StandInInstall {
public:
    explicit StandInInstall(const std::wstring& dir) : m_dir(dir) {}
    bool CopyStandIn(const wchar_t* name = L"VelStation.exe");
    bool CopyVelTray();
    std::wstring LogPath() const { return m_dir + L"\\VelStation.log"; }
    // Waits until a previous control file was taken, then places this one.
    bool Control(const std::string& lines);
    // The pid the stand-in logged at its start, 0 when none within the bound.
    DWORD WaitStandInPid(std::chrono::milliseconds bound) const;
    const std::wstring& Dir() const { return m_dir; }

private:
    std::wstring m_dir;
};

std::wstring ExeDirectoryOf(const std::wstring& path);
