#pragma once
#include <functional>
#include <string>

// Every diagnostic line of the program goes through here to the debugger
// output. A capture, when installed, sees each line as well; tests use it.
void DebugOutput(const wchar_t* line);
void DebugOutput(const char* line);
void DebugPrintf(const wchar_t* format, ...);

using DebugCapture = std::function<void(const std::wstring& line)>;
// Installs (or with an empty function removes) the capture; returns the old one.
DebugCapture SetDebugCapture(DebugCapture capture);
