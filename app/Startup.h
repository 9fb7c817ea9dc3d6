#pragma once

// Per-monitor DPI awareness through whichever of user32's and shcore's
// functions this Windows has; all of them are looked up at run time.
void EnableDpiAwareness();

// True when the command line holds "-frompc" anywhere (case-sensitive), also
// inside another argument: VelStation started this process.
bool IsStartedFromStation(const wchar_t* commandLine);
