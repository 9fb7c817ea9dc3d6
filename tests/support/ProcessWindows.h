#pragma once
#include "platform/Win32.h"

// The hidden main dialog (class "#32770") of another process, or nullptr.
HWND FindMainDialog(DWORD pid);
