#include "tests/support/DbWinMonitor.h"

#include <cstring>

namespace {
constexpr DWORD kBufferSize = 4096;
}

DbWinMonitor::DbWinMonitor()
{
    m_bufferReady.Reset(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY"));
    m_dataReady.Reset(::CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY"));
    m_mapping.Reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize, L"DBWIN_BUFFER"));
    if (!m_bufferReady || !m_dataReady || !m_mapping)
        return;
    m_view = ::MapViewOfFile(m_mapping.Get(), FILE_MAP_READ, 0, 0, kBufferSize);
    if (!m_view)
        return;
    m_ok = true;
    m_thread = std::thread(&DbWinMonitor::Loop, this);
}

DbWinMonitor::~DbWinMonitor()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_view)
        ::UnmapViewOfFile(m_view);
}

void DbWinMonitor::Loop()
{
    ::SetEvent(m_bufferReady.Get());
    while (!m_stop) {
        if (::WaitForSingleObject(m_dataReady.Get(), 50) != WAIT_OBJECT_0)
            continue;
        const auto* bytes = static_cast<const char*>(m_view);
        DWORD pid;
        std::memcpy(&pid, bytes, sizeof(pid));
        const char* text = bytes + sizeof(pid);
        std::string line(text, strnlen(text, kBufferSize - sizeof(pid)));
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_lines.emplace_back(pid, std::move(line));
        }
        m_changed.notify_all();
        ::SetEvent(m_bufferReady.Get());
    }
}

std::vector<std::string> DbWinMonitor::Lines(DWORD pid) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<std::string> result;
    for (const auto& [from, line] : m_lines) {
        if (from == pid)
            result.push_back(line);
    }
    return result;
}

bool DbWinMonitor::WaitForLine(DWORD pid, const std::string& fragment, std::chrono::milliseconds bound) const
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, bound, [&] {
        for (const auto& [from, line] : m_lines) {
            if (from == pid && line.find(fragment) != std::string::npos)
                return true;
        }
        return false;
    });
}
