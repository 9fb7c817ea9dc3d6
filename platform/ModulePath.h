#pragma once
#include <string>

// The full path of the running executable; empty when it cannot be read.
std::wstring ExecutablePath();
// Its directory, without a trailing backslash.
std::wstring ExecutableDirectory();
