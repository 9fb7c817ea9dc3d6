#include "platform/GuidText.h"

#include <objbase.h>

#include <cstdio>

char g_processSessionId[kGuidTextSize] = {};

void MakeGuidText(char (&buffer)[kGuidTextSize], GuidCreator create)
{
    GUID guid{};
    const HRESULT hr = create ? create(&guid) : ::CoCreateGuid(&guid);
    if (SUCCEEDED(hr)) {
        std::snprintf(buffer, sizeof(buffer), "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                      static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                      guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6],
                      guid.Data4[7]);
        return;
    }
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);
    const unsigned long low = counter.LowPart;
    const unsigned long high = static_cast<unsigned long>(counter.HighPart);
    const unsigned long ticks = ::GetTickCount();
    const unsigned long pid = ::GetCurrentProcessId();
    std::snprintf(buffer, sizeof(buffer), "%08lx-%04lx-%04lx-%04lx-%08lx%04lx", ticks, pid & 0xFFFF, high & 0xFFFF,
                  low >> 16, low, (ticks ^ pid) & 0xFFFF);
}
