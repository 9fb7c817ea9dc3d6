#include "platform/Win32.h"
#include "app/UiSlowWatch.h"

#include "platform/DebugSink.h"

#include <cstdio>

namespace {
uint32_t SystemTicks()
{
    return ::GetTickCount();
}
} // namespace

UiSlowWatch::UiSlowWatch(const char* label, TickSource ticks)
    : m_label(label), m_ticks(ticks ? ticks : &SystemTicks), m_start(m_ticks())
{
}

UiSlowWatch::~UiSlowWatch()
{
    // Unsigned difference: correct across the 49.7-day wrap of the tick count.
    const uint32_t elapsed = m_ticks() - m_start;
    if (elapsed <= kLimitMs)
        return;
    char line[160];
    std::snprintf(line, sizeof(line), "[VelTray] UI slow %lums: %s\r\n", static_cast<unsigned long>(elapsed), m_label);
    DebugOutput(line);
}
