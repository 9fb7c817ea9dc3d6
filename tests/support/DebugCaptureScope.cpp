#include "tests/support/DebugCaptureScope.h"

#include "platform/DebugSink.h"

DebugCaptureScope::DebugCaptureScope()
{
    SetDebugCapture([this](const std::wstring& line) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_lines.push_back(line);
    });
}

DebugCaptureScope::~DebugCaptureScope()
{
    SetDebugCapture(nullptr);
}

std::vector<std::wstring> DebugCaptureScope::Lines() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_lines;
}

bool DebugCaptureScope::Contains(const std::wstring& fragment) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    for (const auto& line : m_lines) {
        if (line.find(fragment) != std::wstring::npos)
            return true;
    }
    return false;
}
