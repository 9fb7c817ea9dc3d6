#pragma once
#include <mutex>
#include <string>
#include <vector>

// Collects the program's debug lines while it lives.
class DebugCaptureScope {
public:
    DebugCaptureScope();
    ~DebugCaptureScope();
    DebugCaptureScope(const DebugCaptureScope&) = delete;
    DebugCaptureScope& operator=(const DebugCaptureScope&) = delete;

    std::vector<std::wstring> Lines() const;
    bool Contains(const std::wstring& fragment) const;

private:
    mutable std::mutex m_lock;
    std::vector<std::wstring> m_lines;
};
