#pragma once
#include "platform/Win32.h"

#include <cstddef>

constexpr size_t kGuidTextSize = 40;

// Creates a GUID; the default calls CoCreateGuid. Tests inject a failure.
using GuidCreator = HRESULT (*)(GUID* guid);

// Writes the hyphenated lower-case GUID text (36 characters) into a 40-byte
// buffer. When no GUID can be made, the text is formed from the performance
// counter, the tick count and the process id, in the same shape.
void MakeGuidText(char (&buffer)[kGuidTextSize], GuidCreator create = nullptr);

// The process session id: empty at load, filled once at start-up.
extern char g_processSessionId[kGuidTextSize];
