#pragma once
// GDI+ for painting steps. WIN32_LEAN_AND_MEAN leaves out the COM headers that
// GDI+ needs (PROPID, IStream), so they come first here.
#include "platform/Win32.h"

#include <objidl.h>

#include <gdiplus.h>
