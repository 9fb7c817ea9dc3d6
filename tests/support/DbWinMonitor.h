#pragma once
#include "platform/Win32.h"
#include "platform/ScopedWin.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Receives the debug lines of other processes through the system-wide debug
// output buffer, as a debugger's output window does.
class DbWinMonitor {
public:
    DbWinMonitor();
    ~DbWinMonitor();
    DbWinMonitor(const DbWinMonitor&) = delete;
    DbWinMonitor& operator=(const DbWinMonitor&) = delete;

    bool Ok() const { return m_ok; }
    // Lines written by one process, in arrival order.
    std::vector<std::string> Lines(DWORD pid) const;
    bool WaitForLine(DWORD pid, const std::string& fragment, std::chrono::milliseconds bound) const;

private:
    void Loop();

    ScopedHandle m_mapping;
    ScopedHandle m_bufferReady;
    ScopedHandle m_dataReady;
    void* m_view = nullptr;
    bool m_ok = false;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::vector<std::pair<DWORD, std::string>> m_lines;
};
