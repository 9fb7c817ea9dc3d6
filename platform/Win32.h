#pragma once
// Included first by every source that touches the Windows API, so that the
// build's UNICODE / WIN32_LEAN_AND_MEAN / NOMINMAX / version settings apply
// before <windows.h> is seen.
#ifndef UNICODE
#error "build with UNICODE"
#endif
#include <windows.h>
