#include "platform/Win32.h"
#include "platform/DebugSink.h"

#include "platform/TextConv.h"

#include <cstdarg>
#include <cwchar>
#include <mutex>

namespace {

std::mutex g_captureLock;
DebugCapture g_capture;

void Forward(const wchar_t* line)
{
    ::OutputDebugStringW(line);
    std::lock_guard<std::mutex> lock(g_captureLock);
    if (g_capture)
        g_capture(line);
}

} // namespace

void DebugOutput(const wchar_t* line)
{
    if (line)
        Forward(line);
}

void DebugOutput(const char* line)
{
    if (line)
        Forward(Utf8ToWide(line).c_str());
}

void DebugPrintf(const wchar_t* format, ...)
{
    wchar_t buffer[1024];
    va_list args;
    va_start(args, format);
    const int written = std::vswprintf(buffer, sizeof(buffer) / sizeof(buffer[0]), format, args);
    va_end(args);
    if (written < 0)
        buffer[sizeof(buffer) / sizeof(buffer[0]) - 1] = L'\0';
    Forward(buffer);
}

DebugCapture SetDebugCapture(DebugCapture capture)
{
    std::lock_guard<std::mutex> lock(g_captureLock);
    std::swap(g_capture, capture);
    return capture;
}
